#!/usr/bin/env bash
# The Windows installer under Wine, in a Wine prefix of its own with a fake Winamp folder:
# refusal of a folder without winamp.exe, install found through Winamp's registry key, upgrade
# over an older version, a running Winamp, the installed DLL loaded by the test host, silent
# uninstall, the usual program folder, and the user's settings and presets left alone throughout.
#   installer_test.sh WINDOWS_BUILD_DIR VERSION
set -uo pipefail
build=$(cd "$1" && pwd); version="$2"
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
runner="$source_dir/tools/wine-run.sh"
setup="$build/drelvant-$version-setup.exe"
for needed in "$setup" "$build/dsp_drelvant.dll" "$build/fake_winamp.exe" "$build/winamp_host.exe"; do
  [ -f "$needed" ] || { echo "missing $needed: build the windows preset first"; exit 1; }
done

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what="$1"; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}

echo "== the shipped DLL"
sections=$(i686-w64-mingw32-objdump -h "$build/dsp_drelvant.dll" | awk '{ print $2 }')
debug_sections=$(i686-w64-mingw32-objdump -h "$build/dsp_drelvant.dll.debug" | awk '{ print $2 }')
check "dsp_drelvant.dll carries no debug sections" bash -c "! grep -q '^\.debug_' <<<'$sections'"
check "dsp_drelvant.dll links to its debug file" grep -qx '\.gnu_debuglink' <<<"$sections"
check "dsp_drelvant.dll.debug holds the debug information" grep -qx '\.debug_info' <<<"$debug_sections"
echo "     dsp_drelvant.dll: $(stat -c %s "$build/dsp_drelvant.dll") bytes, dsp_drelvant.dll.debug: $(stat -c %s "$build/dsp_drelvant.dll.debug") bytes"

# A prefix of our own: the fake Winamp folders and registry keys must not reach the other tests,
# and `wineserver -w` then waits for exactly the processes started here (the uninstaller copies
# itself to a temporary folder and finishes after the command that started it has returned).
export DRELVANT_WINEPREFIX="${DRELVANT_INSTALLER_WINEPREFIX:-/tmp/drelvant-wine-installer-$(id -u)}"
export WINEPREFIX="$DRELVANT_WINEPREFIX"
work=$(mktemp -d /tmp/drelvant-installer-XXXXXX)
cleanup() {
  wineserver -k >/dev/null 2>&1
  rm -rf "$work"
  [ -z "${DRELVANT_KEEP_PREFIX:-}" ] && rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
wineserver -k >/dev/null 2>&1
rm -rf "$WINEPREFIX"
"$runner" --init || { echo "cannot create the Wine prefix"; exit 1; }

drive_c="$WINEPREFIX/drive_c"
winamp='C:\Apps\My Winamp'                  # a blank in the name, as "Program Files" has
winamp_unix="$drive_c/Apps/My Winamp"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Drelvant'

wine_run() { "$runner" "$@"; local status=$?; wineserver -w; return $status; }
# Every Wine process goes through the runner, which sets the display: the first process of a Wine
# session sets up its desktop, and one started without a display would leave the session unable
# to open any window.
registry_value() {  # registry_value KEY NAME -> the value's data, empty when absent
  "$runner" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^  /, ""); print }'
}
key_absent() { ! "$runner" reg query "$1" >/dev/null 2>&1; }
same_file() { cmp -s "$1" "$2"; }
absent() { [ ! -e "$1" ]; }
status_is() { [ "$1" -eq "$2" ]; }

# The user's settings and presets, where the plug-in keeps them in this prefix (the Windows folder:
# no C:\Program Files\Winamp here) and copies a user left in Winamp's folders.
user_files=("$drive_c/windows/dsp_Drelvant.ini" "$drive_c/windows/DV_Preset01.ini"
            "$drive_c/windows/DV_Preset42.ini" "$winamp_unix/dsp_Drelvant.ini"
            "$winamp_unix/DV_Preset07.ini" "$winamp_unix/Plugins/DV_Preset03.ini")
mkdir -p "$winamp_unix/Plugins"
cp "$build/fake_winamp.exe" "$winamp_unix/winamp.exe"
for file in "${user_files[@]}"; do
  printf 'Drelvant\r\nThis is a preset file for Drelvant v1.20\r\nFilename: %s\r\n--\r\nGeneral.Name = mine %s\r\n' \
    "$(basename "$file")" "$RANDOM" > "$file"
done
# What the files hold now; the plug-in itself rewrites dsp_Drelvant.ini when a host unloads it.
snapshot_user_files() {
  local file
  for file in "${user_files[@]}"; do cp "$file" "$work/$(basename "$(dirname "$file")")-$(basename "$file")"; done
}
snapshot_user_files
user_files_kept() {
  local file kept=0
  for file in "${user_files[@]}"; do
    if ! same_file "$file" "$work/$(basename "$(dirname "$file")")-$(basename "$file")"; then
      echo "     changed or missing: $file"; kept=1
    fi
  done
  return $kept
}

echo "== a folder without winamp.exe is refused"
mkdir -p "$drive_c/Empty"
wine_run "$setup" /S '/D=C:\Empty'; status=$?
check "silent setup into a folder without winamp.exe exits with 2" status_is $status 2
check "nothing installed there" absent "$drive_c/Empty/Plugins"
check "no Add/Remove Programs entry" key_absent "$uninstall_key"

echo "== /FORCE installs there anyway"
wine_run "$setup" /S /FORCE '/D=C:\Empty'; status=$?
check "setup /FORCE exits with 0" status_is $status 0
check "the DLL is in C:\\Empty\\Plugins" same_file "$drive_c/Empty/Plugins/dsp_drelvant.dll" "$build/dsp_drelvant.dll"
wine_run 'C:\Empty\Plugins\Drelvant\uninstall.exe' /S
check "its uninstaller removes the DLL" absent "$drive_c/Empty/Plugins/dsp_drelvant.dll"

echo "== an older version, found through Winamp's registry key"
# The older version: the same script with an older version number and a different DLL.
head -c 200000 "$build/winamp_host.exe" > "$work/old_dsp_drelvant.dll"
printf 'Drelvant 1.10 readme\r\n' > "$work/old_readme.txt"
makensis -V1 -NOCD -DVERSION=1.10 "-DDLL=$work/old_dsp_drelvant.dll" "-DREADME=$work/old_readme.txt" \
  "-DLICENSE=$build/installer/license.txt" "-DOUTFILE=$work/drelvant-1.10-setup.exe" \
  "$source_dir/packaging/windows/drelvant.nsi" || { echo "FAIL cannot build the older installer"; exit 1; }
"$runner" reg add 'HKCU\Software\Winamp' /ve /d "$winamp" /f >/dev/null 2>&1
wine_run "$work/drelvant-1.10-setup.exe" /S; status=$?
check "older setup exits with 0" status_is $status 0
check "older DLL in the registered Winamp folder" same_file "$winamp_unix/Plugins/dsp_drelvant.dll" "$work/old_dsp_drelvant.dll"
check "entry shows version 1.10" test "$(registry_value "$uninstall_key" DisplayVersion)" = "1.10"

echo "== a running Winamp keeps the upgrade from replacing the plug-in"
rm -f "$winamp_unix/fake_winamp.ready"
cp "$build/fake_winamp.exe" "$winamp_unix/fake_winamp.exe"
"$runner" "$winamp_unix/fake_winamp.exe" - 15 &
holder=$!
for _ in $(seq 100); do [ -e "$winamp_unix/fake_winamp.ready" ] && break; sleep 0.1; done
check "the stand-in Winamp runs" test -e "$winamp_unix/fake_winamp.ready"
"$runner" "$setup" /S; status=$?
check "silent setup while Winamp runs exits with 2" status_is $status 2
check "the older DLL is still there" same_file "$winamp_unix/Plugins/dsp_drelvant.dll" "$work/old_dsp_drelvant.dll"
wait $holder
wineserver -w
rm -f "$winamp_unix/fake_winamp.exe"

echo "== upgrade"
wine_run "$setup" /S; status=$?
check "setup exits with 0" status_is $status 0
check "Plugins\\dsp_drelvant.dll is byte-identical to the build's" \
  same_file "$winamp_unix/Plugins/dsp_drelvant.dll" "$build/dsp_drelvant.dll"
check "readme installed" same_file "$winamp_unix/Plugins/Drelvant/readme.txt" "$build/installer/readme.txt"
check "license installed" same_file "$winamp_unix/Plugins/Drelvant/license.txt" "$build/installer/license.txt"
check "uninstaller installed" test -f "$winamp_unix/Plugins/Drelvant/uninstall.exe"
check "entry shows version $version" test "$(registry_value "$uninstall_key" DisplayVersion)" = "$version"
check "entry names the publisher" test "$(registry_value "$uninstall_key" Publisher)" = "The Drelvant developers"
size_kb=$(( $(registry_value "$uninstall_key" EstimatedSize) ))
installed_kb=$(du -k --apparent-size -c "$winamp_unix/Plugins/dsp_drelvant.dll" "$winamp_unix/Plugins/Drelvant"/* | tail -1 | cut -f1)
check "entry's size ($size_kb KB) within 8 KB of the files' ($installed_kb KB)" \
  test $((size_kb - installed_kb)) -le 8 -a $((installed_kb - size_kb)) -le 8
check "entry's uninstall command" test "$(registry_value "$uninstall_key" UninstallString)" = "\"$winamp\\Plugins\\Drelvant\\uninstall.exe\""
check "the user's settings and presets are untouched" user_files_kept

echo "== another program holding the plug-in keeps setup from replacing it"
rm -f "$winamp_unix/fake_winamp.ready"
cp "$build/fake_winamp.exe" "$winamp_unix/fake_winamp.exe"
"$runner" "$winamp_unix/fake_winamp.exe" "$winamp\\Plugins\\dsp_drelvant.dll" 15 OtherHost &
holder=$!
for _ in $(seq 100); do [ -e "$winamp_unix/fake_winamp.ready" ] && break; sleep 0.1; done
check "the other host runs with the plug-in loaded" test -e "$winamp_unix/fake_winamp.ready"
"$runner" "$setup" /S; status=$?
check "silent setup while the plug-in is loaded exits with 2" status_is $status 2
check "the DLL is still the build's" same_file "$winamp_unix/Plugins/dsp_drelvant.dll" "$build/dsp_drelvant.dll"
wait $holder
wineserver -w
rm -f "$winamp_unix/fake_winamp.exe"

echo "== the installed DLL in a host"
sox -n -r 44100 -c 2 -b 16 -e signed-integer "$work/in.raw" synth 1 sine 440 gain -6 2>/dev/null ||
  head -c 176400 /dev/zero > "$work/in.raw"
wine_run "$build/winamp_host.exe" "$winamp\\Plugins\\dsp_drelvant.dll" "$work/in.raw" "$work/out.raw" > "$work/host.txt"
status=$?
check "winamp_host loads and runs it" status_is $status 0
check "the host reads Drelvant's header" grep -q "Drelvant v$version" "$work/host.txt"
check "a second of audio came back" test "$(stat -c %s "$work/out.raw")" -eq "$(stat -c %s "$work/in.raw")"
snapshot_user_files

echo "== silent uninstall"
wine_run "$winamp\\Plugins\\Drelvant\\uninstall.exe" /S; status=$?
check "uninstaller exits with 0" status_is $status 0
check "the DLL is removed" absent "$winamp_unix/Plugins/dsp_drelvant.dll"
check "the readme, license and uninstaller and their folder are removed" absent "$winamp_unix/Plugins/Drelvant"
check "the Add/Remove Programs entry is removed" key_absent "$uninstall_key"
check "Winamp and its Plugins folder stay" test -f "$winamp_unix/winamp.exe" -a -d "$winamp_unix/Plugins"
check "the user's settings and presets are untouched" user_files_kept

echo "== no registry key: the usual program folder"
"$runner" reg delete 'HKCU\Software\Winamp' /f >/dev/null 2>&1
program_files_unix="$drive_c/Program Files (x86)/Winamp"
[ -d "$drive_c/Program Files (x86)" ] || program_files_unix="$drive_c/Program Files/Winamp"
mkdir -p "$program_files_unix"
cp "$build/fake_winamp.exe" "$program_files_unix/winamp.exe"
wine_run "$setup" /S; status=$?
check "setup exits with 0" status_is $status 0
check "the DLL is in Program Files\\Winamp\\Plugins" same_file "$program_files_unix/Plugins/dsp_drelvant.dll" "$build/dsp_drelvant.dll"
check "the user's settings and presets are untouched" user_files_kept

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "installer tests passed"
