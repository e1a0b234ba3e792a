#!/usr/bin/env bash
# Runs one fuzz target for a bounded time over a copy of its seed corpus.
#   run_fuzzer.sh FUZZER SEED_CORPUS_DIR SECONDS
set -euo pipefail
fuzzer="$1"; seeds="$2"; seconds="${3:-60}"
work="$(mktemp -d /tmp/drelvant-corpus-XXXXXX)"
trap 'rm -rf "$work"' EXIT
"$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work" "$seeds" 2>&1 | tail -n 25
status=${PIPESTATUS[0]}
if ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* >/dev/null 2>&1; then
  echo "fuzzer found a failing input:"; ls "$work"; exit 1
fi
exit "$status"
