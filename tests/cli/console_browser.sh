#!/usr/bin/env bash
# A real browser on the console of a running stream (headless Chromium driven by puppeteer-core,
# installed from npm next to the program on first use, never into the source tree).
source "$(dirname "$0")/common.bash"
need node
need npm
CHROMIUM=${CHROMIUM:-$(command -v chromium || true)}
[ -n "$CHROMIUM" ] || { echo "FAIL: this test needs chromium" >&2; exit 1; }
NODE_DIR="$(dirname "$DRELVANT")/console-test-node"
if [ ! -d "$NODE_DIR/node_modules/puppeteer-core" ]; then
    npm install --prefix "$NODE_DIR" --no-audit --no-fund --silent puppeteer-core@24.43.1 >/dev/null ||
        { echo "FAIL: cannot install puppeteer-core from npm" >&2; exit 1; }
fi
# The screenshots stay next to the program for a look: console.png, compressor.png,
# final-clipper.png, phone.png.
SHOTS="$(dirname "$DRELVANT")/console-screenshots"
mkdir -p "$SHOTS"
if CHROMIUM="$CHROMIUM" NODE_PATH="$NODE_DIR/node_modules" \
    node "$SOURCE_DIR/tests/console/browser_test.cjs" "$DRELVANT" "$WORK" "$SHOTS"; then
    pass "a browser moves a compressor threshold and sees it applied"
else
    fail "a browser moves a compressor threshold and sees it applied"
fi
finish
