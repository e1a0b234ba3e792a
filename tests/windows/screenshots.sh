#!/usr/bin/env bash
# Pictures of every plug-in window: runs the screenshot test under Wine and converts its BMPs to PNG.
#   tests/windows/screenshots.sh BUILD_DIR [OUTPUT_DIR]
# BUILD_DIR is a Windows build (drelvant_windows_tests.exe and dsp_drelvant.dll); the pictures go
# to OUTPUT_DIR (default BUILD_DIR/screenshots), one per window, named after template and window.
set -eu
build_dir=$(cd "$1" && pwd)
output_dir=${2:-$build_dir/screenshots}
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
runner="$source_dir/tools/wine-run.sh"

"$runner" --init
cd "$build_dir"
"$runner" ./drelvant_windows_tests.exe --gtest_filter='UiTest.ScreenshotOfEveryWindow'
mkdir -p "$output_dir"
for picture in screenshots/*.bmp; do
  name=$(basename "$picture" .bmp)
  if command -v convert >/dev/null; then
    convert "$picture" "$output_dir/$name.png"
  elif [ "$output_dir" != "$build_dir/screenshots" ]; then
    cp "$picture" "$output_dir/"
  fi
done
echo "screenshots in $output_dir"
