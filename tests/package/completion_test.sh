#!/usr/bin/env bash
# Shell completion of drelvant: bash offers the commands, each command's options as its help text
# lists them, presets after --preset, and files for inputs; the zsh function parses and knows the
# same commands and options.
#   completion_test.sh DRELVANT SOURCE_DIR
set -uo pipefail
drelvant="$1"; source_dir="$2"
bash_file="$source_dir/packaging/completion/drelvant.bash"
zsh_file="$source_dir/packaging/completion/_drelvant"
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

# What bash would offer for the command line "$@" (the last word is the one being completed).
offered() {
  bash -c '
    source "$0"
    COMP_WORDS=("$@"); COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))
    _drelvant drelvant "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}"' "$bash_file" "$@"
}
offers() {  # offers WORD COMMAND-LINE... : the completion of the line includes WORD
  local word="$1" list; shift
  list=$(offered "$@")
  grep -qx -- "$word" <<<"$list"
}

commands=$("$drelvant" --help | awk '/^Commands/ { on = 1; next } on && /^$/ { exit } on { print $1 }')
for command in $commands; do
  offers "$command" drelvant "" || fail "bash does not offer the command $command"
  options=$("$drelvant" "$command" --help 2>/dev/null | grep -oE '^ +-[-a-zA-Z0-9]+(, --[-a-zA-Z0-9]+)?' | tr ',' '\n' | tr -d ' ')
  for option in $options; do
    offers "$option" drelvant "$command" - || fail "bash does not offer '$command $option'"
    grep -qe "$option" "$zsh_file" || fail "zsh does not know '$command $option'"
  done
  grep -q "'$command:" "$zsh_file" || fail "zsh does not describe the command $command"
done
offers process drelvant pro || fail "bash does not complete 'pro' to process"
[ "$(offered drelvant pro)" = process ] || fail "bash offers more than process for 'pro'"
offers F3 drelvant process --preset "" || fail "bash does not offer F3 after --preset"
offers show drelvant presets "" || fail "bash does not offer 'presets show'"

folder=$(mktemp -d); trap 'rm -rf "$folder"' EXIT
touch "$folder/song.flac"
offers "$folder/song.flac" drelvant process "$folder/so" || fail "bash does not complete an input file"

if command -v zsh >/dev/null; then
  zsh -n "$zsh_file" || fail "zsh cannot parse _drelvant"
  # Loaded the way zsh loads it: through compinit from a folder on fpath.
  zsh -f -c "fpath=('$(dirname "$zsh_file")' \$fpath); autoload -Uz compinit; compinit -u -d '$folder/zcompdump';
    [[ \${_comps[drelvant]} == _drelvant ]]" || fail "zsh does not bind _drelvant to drelvant"
else
  echo "note: zsh is not installed; its completion was checked only by text"
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "completion checked"
