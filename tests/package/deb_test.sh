#!/usr/bin/env bash
# The Debian package: built from the native build by CPack, checked by lintian (no errors),
# installed with apt-get, used (version, demo, processing, manual page, completion, LV2 bundle
# when the package has one), then purged, leaving nothing behind. Needs root; skipped (77)
# without it, and when a drelvant package is installed already (it is not ours to replace).
#   deb_test.sh NATIVE_BUILD_DIR VERSION
set -uo pipefail
build=$(cd "$1" && pwd); version="$2"
if [ "$(id -u)" -ne 0 ]; then echo "skipped: installing a package needs root"; exit 77; fi
if dpkg-query -W -f='${Status}' drelvant 2>/dev/null | grep -q 'installed'; then
  echo "skipped: a drelvant package is installed on this machine already"; exit 77
fi
work=$(mktemp -d /tmp/drelvant-deb-XXXXXX)
installed=0
cleanup() {
  if [ "$installed" -eq 1 ]; then DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq drelvant >/dev/null 2>&1; fi
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

# Built into a scratch folder, so the test leaves the build folder's own package alone.
cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; echo "FAIL cpack"; exit 1; }
deb=$(ls "$work/package"/drelvant_"$version"_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "FAIL no drelvant_${version}_*.deb"; exit 1; }
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
dpkg-deb -f "$deb" Depends | grep -q 'libsndfile1' || fail "Depends lacks libsndfile1: $(dpkg-deb -f "$deb" Depends)"

if command -v lintian >/dev/null; then
  lintian --allow-root "$deb" >"$work/lintian.txt" 2>&1
  cat "$work/lintian.txt"
  grep -q '^E:' "$work/lintian.txt" && fail "lintian reports errors"
else
  fail "lintian is not installed (Debian package lintian)"
fi

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; echo "FAIL apt-get install"; exit 1; }
installed=1
[ "$(dpkg-query -W -f='${Version}' drelvant)" = "$version" ] || fail "installed version is not $version"

[ "$(command -v drelvant)" = /usr/bin/drelvant ] || fail "drelvant is not /usr/bin/drelvant on PATH"
[ "$(/usr/bin/drelvant --version)" = "Drelvant v$version" ] || fail "drelvant --version: $(/usr/bin/drelvant --version)"
(cd "$work" && /usr/bin/drelvant demo >"$work/demo.txt" 2>&1) || fail "drelvant demo: $(cat "$work/demo.txt")"
[ -s "$work/drelvant-demo/before.wav" ] && [ -s "$work/drelvant-demo/after.wav" ] || fail "drelvant demo wrote no files"
/usr/bin/drelvant process "$work/drelvant-demo/before.wav" "$work/processed.flac" --preset F3 --seed 1 -q ||
  fail "drelvant process"
[ -s "$work/processed.flac" ] || fail "drelvant process wrote nothing"

if [ -n "$(dpkg-query -L drelvant | grep '^/usr/share/man/man1/drelvant.1.gz$')" ] &&
   [ -f /usr/share/man/man1/drelvant.1.gz ]; then
  [ "$(man -w drelvant 2>/dev/null)" = /usr/share/man/man1/drelvant.1.gz ] || fail "man -w drelvant: $(man -w drelvant 2>&1)"
else
  # Minimal images tell dpkg to leave manual pages out (path-exclude in /etc/dpkg/dpkg.cfg.d).
  dpkg-deb -c "$deb" | grep -q 'usr/share/man/man1/drelvant.1.gz' || fail "the package has no manual page"
  echo "note: this system's dpkg leaves manual pages out; man -w not tried"
fi
bash -c 'source /usr/share/bash-completion/completions/drelvant && complete -p drelvant' >/dev/null 2>&1 ||
  fail "the installed bash completion does not register"
[ -f /usr/share/zsh/vendor-completions/_drelvant ] || fail "no zsh completion"
for doc in copyright changelog.gz CHANGELOG.md.gz README.md.gz manual.txt.gz; do
  [ -f "/usr/share/doc/drelvant/$doc" ] || fail "no /usr/share/doc/drelvant/$doc"
done
if dpkg-query -L drelvant | grep -q '^/usr/lib/lv2/drelvant.lv2/'; then
  if command -v lv2ls >/dev/null; then
    LV2_PATH=/usr/lib/lv2 lv2ls | grep -qi drelvant || fail "lv2ls does not list the plug-in"
  else
    fail "the package has an LV2 bundle but lv2ls (lilv-utils) is not installed"
  fi
else
  echo "note: this build has no LV2 bundle"
fi

files=$(dpkg-query -L drelvant | while read -r path; do [ -f "$path" ] && echo "$path"; done)
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq drelvant >"$work/purge.log" 2>&1 || fail "apt-get purge"
installed=0
dpkg-query -W -f='${Status}' drelvant 2>/dev/null | grep -q 'installed' && fail "drelvant is still installed"
for path in $files; do [ -e "$path" ] && fail "$path is left after purge"; done
[ -e /usr/share/doc/drelvant ] && fail "/usr/share/doc/drelvant is left after purge"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "package checked: built, lintian, installed, used, purged"
