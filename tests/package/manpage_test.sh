#!/usr/bin/env bash
# The manual page drelvant(1): renders without a warning, names the version the program reports,
# and documents every command and every option the program's help texts list.
#   manpage_test.sh DRELVANT SOURCE_DIR
set -uo pipefail
drelvant="$1"; page="$2/packaging/drelvant.1"
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man --warnings: $warnings"
rendered=$(MANWIDTH=80 man -l "$page" 2>/dev/null | sed 's/.\x08//g')
[ -n "$rendered" ] || fail "the page renders empty"

version=$("$drelvant" --version | sed -n 's/^Drelvant v//p')
grep -q "^\.TH DRELVANT 1 [0-9-]* \"Drelvant $version\"" "$page" || fail "the .TH line does not name version $version"

# The roff source writes a hyphen in an option as \-; compare against the page with those undone.
source_text=$(sed 's/\\-/-/g' "$page")
commands=$("$drelvant" --help | awk '/^Commands/ { on = 1; next } on && /^$/ { exit } on { print $1 }')
[ -n "$commands" ] || fail "no commands found in drelvant --help"
for command in $commands; do
  grep -q "^\.SS \"\?$command\b" <<<"$source_text" || fail "command '$command' has no section"
  # Options: the words starting with - at the start of a help line, and their long forms after a comma.
  options=$("$drelvant" "$command" --help 2>/dev/null | grep -oE '^ +-[-a-zA-Z0-9]+(, --[-a-zA-Z0-9]+)?' | tr ',' '\n' | tr -d ' ')
  for option in $options; do
    grep -qe "$option\b" <<<"$source_text" || fail "option '$command $option' is not documented"
  done
  # Subcommands of presets.
  if [ "$command" = presets ]; then
    for sub in $("$drelvant" presets --help | grep -oE '^ +(show|export) ' | tr -d ' '); do
      grep -q "^\.BI $sub " <<<"$source_text" || fail "'presets $sub' is not documented"
    done
  fi
done
for section in NAME SYNOPSIS DESCRIPTION COMMANDS OPTIONS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES; do
  grep -q "^$section" <<<"$rendered" || fail "no $section section"
done
# Every exit status the help texts name is explained in its section.
exit_section=$(sed -n '/^EXIT STATUS/,/^ENVIRONMENT/p' <<<"$rendered")
for status in $("$drelvant" process --help | sed -n '/^Exit status: /,$p' | grep -oE '\b[0-9]+\b'); do
  grep -qw -- "$status" <<<"$exit_section" || fail "exit status $status is not explained"
done

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "manual page checked: commands $(echo $commands)"
