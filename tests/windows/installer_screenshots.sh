#!/usr/bin/env bash
# Pictures of the installer's and uninstaller's pages and messages under Wine, in a prefix and on a
# virtual display of their own, clicked through as a user would.
#   tests/windows/installer_screenshots.sh WINDOWS_BUILD_DIR VERSION [OUTPUT_DIR]
# The pictures go to OUTPUT_DIR (default WINDOWS_BUILD_DIR/installer-screenshots) as PNG files
# numbered in the order a user meets them. DRELVANT_SCREENSHOT_DISPLAY (default 71) picks the X
# display number; DRELVANT_SCREENSHOT_WINEPREFIX the prefix (made afresh and removed).
set -uo pipefail
build=$(cd "$1" && pwd); version="$2"
output=${3:-$build/installer-screenshots}
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
runner="$source_dir/tools/wine-run.sh"
setup="$build/drelvant-$version-setup.exe"
setup_title="Drelvant $version Setup"
uninstall_title="Drelvant $version Uninstall"

export DRELVANT_WINEPREFIX="${DRELVANT_SCREENSHOT_WINEPREFIX:-/tmp/drelvant-wine-screenshots-$(id -u)}"
export WINEPREFIX="$DRELVANT_WINEPREFIX"
display_number="${DRELVANT_SCREENSHOT_DISPLAY:-71}"
# A display of our own that keeps running between the scenes: without -noreset the X server
# resets each time its last client (the Wine desktop of a finished scene) goes, and it has been
# seen to die doing so.
if [ -e "/tmp/.X$display_number-lock" ]; then
  echo "display :$display_number is taken; set DRELVANT_SCREENSHOT_DISPLAY to a free number"; exit 1
fi
Xvfb ":$display_number" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
display_pid=$!
export DISPLAY=":$display_number"
unset DRELVANT_DISPLAY_NUMBER
cleanup() { wineserver -k >/dev/null 2>&1; kill "$display_pid" 2>/dev/null; rm -rf "$WINEPREFIX"; }
trap cleanup EXIT
sleep 1
kill -0 "$display_pid" 2>/dev/null || { echo "cannot start Xvfb on $DISPLAY"; exit 1; }
rm -rf "$WINEPREFIX"
"$runner" --init || exit 1
mkdir -p "$output"
rm -f "$output"/*.png

drive_c="$WINEPREFIX/drive_c"
winamp_unix="$drive_c/Apps/My Winamp"
mkdir -p "$winamp_unix/Plugins" "$drive_c/Empty"
cp "$build/fake_winamp.exe" "$winamp_unix/winamp.exe"
printf 'Drelvant\r\nThis is a settings file for Drelvant v1.20\r\n' > "$drive_c/windows/dsp_Drelvant.ini"
"$runner" reg add 'HKCU\Software\Winamp' /ve /d 'C:\Apps\My Winamp' /f >/dev/null 2>&1

shot() {  # shot NAME: the screen, trimmed to the windows on it
  sleep 1.5
  import -display "$DISPLAY" -window root "png:$output/tmp.png" &&
    convert "$output/tmp.png" -trim +repage "$output/$1.png" && rm -f "$output/tmp.png"
  echo "$output/$1.png"
}
settle() {  # settle PID...: the programs of a scene end (the uninstaller finishes from a copy of itself)
  local _ pid
  for _ in $(seq 300); do
    local running=0
    for pid in "$@"; do kill -0 "$pid" 2>/dev/null && running=1; done
    [ "$running" -eq 0 ] && break
    sleep 0.1
  done
  timeout 30 wineserver -w || wineserver -k
}
click() {  # click TITLE BUTTON_ID
  "$runner" "$build/dialog_click.exe" "$1" "$2" || echo "could not click $2 in \"$1\""
}

echo "== install"
"$runner" "$setup" &
scene=$!
shot 01-welcome;            click "$setup_title" 1
shot 02-license;            click "$setup_title" 1
shot 03-winamp-folder;      click "$setup_title" 1
shot 04-installed;          click "$setup_title" 1
shot 05-finish;             click "$setup_title" 1
settle $scene

echo "== a folder without winamp.exe"
"$runner" "$setup" '/D=C:\Empty' &
scene=$!
sleep 1; click "$setup_title" 1; sleep 0.5; click "$setup_title" 1; sleep 0.5; click "$setup_title" 1
shot 06-no-winamp-exe;      click "$setup_title" 7
sleep 0.5; click "$setup_title" 2
shot 07-cancel;             click "$setup_title" 6
settle $scene

echo "== Winamp running"
"$runner" "$winamp_unix/winamp.exe" - 60 &
holder=$!
"$runner" "$setup" &
installer=$!
sleep 1; click "$setup_title" 1; sleep 0.5; click "$setup_title" 1; sleep 0.5; click "$setup_title" 1
shot 08-winamp-running;     click "$setup_title" 2
shot 09-aborted;            click "$setup_title" 2
kill $holder 2>/dev/null; wineserver -k; settle $installer $holder

echo "== uninstall"
"$runner" 'C:\Apps\My Winamp\Plugins\Drelvant\uninstall.exe' &
scene=$!
shot 10-uninstall-confirm;  click "$uninstall_title" 1
shot 11-uninstalled;        click "$uninstall_title" 1
shot 12-uninstall-finish;   click "$uninstall_title" 1
settle $scene
echo "screenshots in $output"
