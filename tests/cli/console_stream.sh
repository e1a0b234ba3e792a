#!/usr/bin/env bash
# The console of a running stream: values and presets changed through its API, /metrics, refusals.
source "$(dirname "$0")/common.bash"
need python3
need promtool
if python3 "$SOURCE_DIR/tests/console/stream_test.py" "$DRELVANT" "$WORK"; then
    pass "console of a running stream"
else
    fail "console of a running stream"
fi
finish
