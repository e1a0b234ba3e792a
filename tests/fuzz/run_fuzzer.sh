#!/usr/bin/env bash
# Runs one fuzz target for a bounded time over its seed corpus.
#   run_fuzzer.sh FUZZER SEED_CORPUS_DIR SECONDS [LIBFUZZER_FLAGS...]
# A failing input is kept in ./fuzz-artifacts/<target>/ (or $DRELVANT_FUZZ_ARTIFACTS) for the
# regression test. The grown corpus is thrown away, unless DRELVANT_FUZZ_CORPUS names a folder to
# keep it in: a long run can then be continued where it stopped. The final statistics (executions,
# rate, peak memory) close the output.
set -uo pipefail
fuzzer="$1"; seeds="$2"; seconds="${3:-60}"
shift 3 || shift $#
name="$(basename "$fuzzer")"
artifacts="${DRELVANT_FUZZ_ARTIFACTS:-$PWD/fuzz-artifacts}/$name"
mkdir -p "$artifacts"
log="$(mktemp /tmp/drelvant-fuzz-log-XXXXXX)"
if [[ -n "${DRELVANT_FUZZ_CORPUS:-}" ]]; then
  work="$DRELVANT_FUZZ_CORPUS"
  mkdir -p "$work"
  trap 'rm -f "$log"' EXIT
else
  work="$(mktemp -d /tmp/drelvant-corpus-XXXXXX)"
  trap 'rm -rf "$work" "$log"' EXIT
fi
"$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$@" "$work" "$seeds" > "$log" 2>&1
status=$?
grep -v '^"' "$log" | tail -n 25
if ls "$artifacts"/crash-* "$artifacts"/leak-* "$artifacts"/timeout-* "$artifacts"/oom-* >/dev/null 2>&1; then
  echo "fuzzer found a failing input, kept in $artifacts:"; ls -l "$artifacts"; exit 1
fi
exit "$status"
