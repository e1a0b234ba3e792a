#!/usr/bin/env bash
# `cmake --install` into a scratch prefix: the program, its manual page, completion and
# documentation where Linux tools keep them; the installed program is stripped (its debug
# information stays in the build folder) and runs; the installed page renders.
#   install_test.sh NATIVE_BUILD_DIR
set -uo pipefail
build="$1"
prefix=$(mktemp -d /tmp/drelvant-install-XXXXXX)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL cmake --install"; exit 1; }
for file in bin/drelvant share/man/man1/drelvant.1.gz share/bash-completion/completions/drelvant \
            share/zsh/vendor-completions/_drelvant share/doc/drelvant/copyright \
            share/doc/drelvant/changelog.gz share/doc/drelvant/CHANGELOG.md.gz \
            share/doc/drelvant/README.md.gz share/doc/drelvant/manual.txt.gz; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
[ -x "$prefix/bin/drelvant" ] || fail "bin/drelvant is not executable"

sections=$(objdump -h "$prefix/bin/drelvant" | awk '{ print $2 }')
grep -q '^\.debug_' <<<"$sections" && fail "bin/drelvant carries debug sections"
grep -qx '\.gnu_debuglink' <<<"$sections" || fail "bin/drelvant has no debug link"
grep -qx '\.comment' <<<"$sections" && fail "bin/drelvant carries a .comment section"
[ -z "$(nm "$prefix/bin/drelvant" 2>/dev/null)" ] || fail "bin/drelvant still has a symbol table"
[ -f "$build/drelvant.debug" ] || fail "no drelvant.debug in the build folder"

"$prefix/bin/drelvant" --version | grep -qx 'Drelvant v[0-9.]*' || fail "the installed drelvant --version"
manual=$("$prefix/bin/drelvant" manual)
grep -q 'User Manual' <<<"$manual" || fail "the installed drelvant manual"
warnings=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/drelvant.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the installed page: $warnings"
page=$(MANWIDTH=80 man -l "$prefix/share/man/man1/drelvant.1.gz" 2>/dev/null)
grep -q 'EXIT STATUS' <<<"$page" || fail "the installed page does not render"
[[ "$(gzip -dc "$prefix/share/doc/drelvant/changelog.gz")" == "drelvant ("* ]] ||
  fail "changelog.gz is not a Debian changelog"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "install layout checked in $prefix"
