#!/usr/bin/env bash
# Runs one fuzz target for a bounded time over a copy of its seed corpus.
#   run_fuzzer.sh FUZZER SEED_CORPUS_DIR SECONDS [LIBFUZZER_FLAGS...]
# A failing input is kept in ./fuzz-artifacts/<target>/ (or $DRELVANT_FUZZ_ARTIFACTS) for the
# regression test; the grown corpus is thrown away.
set -uo pipefail
fuzzer="$1"; seeds="$2"; seconds="${3:-60}"
shift 3 || shift $#
name="$(basename "$fuzzer")"
artifacts="${DRELVANT_FUZZ_ARTIFACTS:-$PWD/fuzz-artifacts}/$name"
mkdir -p "$artifacts"
work="$(mktemp -d /tmp/drelvant-corpus-XXXXXX)"
trap 'rm -rf "$work"' EXIT
"$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$@" "$work" "$seeds" > "$work.log" 2>&1
status=$?
grep -v '^"' "$work.log" | tail -n 25
rm -f "$work.log"
if ls "$artifacts"/crash-* "$artifacts"/leak-* "$artifacts"/timeout-* "$artifacts"/oom-* >/dev/null 2>&1; then
  echo "fuzzer found a failing input, kept in $artifacts:"; ls -l "$artifacts"; exit 1
fi
exit "$status"
