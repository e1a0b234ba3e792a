# bash completion for drelvant, the Drelvant command-line processor.
# Installed as share/bash-completion/completions/drelvant (loaded on demand by bash-completion).

_drelvant_options() {
    case "$1" in
        process)  echo "--preset --dir --seed --block --keep-latency --no-prime --output-format --format --rate
                        --bits --channels --overwrite-input --ceiling --target --json --strict -o --output-dir -j --jobs
                        --skip-existing --input-rate --input-channels --input-bits --set --console --console-token
                        -q --quiet -h --help" ;;
        live)     echo "--preset --dir --seed --set --channels --name --connect-in --connect-out --console
                        --console-token --no-console -q --quiet -h --help" ;;
        presets)  echo "show export save default check diff --from --name --dir -h --help" ;;
        response) echo "--preset -o --svg --csv --dir --seed -q --quiet -h --help" ;;
        demo)     echo "--out --seed -h --help" ;;
        bench)    echo "--preset --seconds --block --repeat --dir -h --help" ;;
        manual)   echo "-h --help" ;;
        params)   echo "--window --preset --set --dir --json -h --help" ;;
    esac
}

_drelvant() {
    local cur prev command i
    COMPREPLY=()
    cur="${COMP_WORDS[COMP_CWORD]}"
    prev="${COMP_WORDS[COMP_CWORD-1]}"
    local commands="process presets params response live demo bench manual version help"

    command=""
    for ((i = 1; i < COMP_CWORD; i++)); do
        case "${COMP_WORDS[i]}" in
            -*) ;;
            *) command="${COMP_WORDS[i]}"; break ;;
        esac
    done

    if [[ -z "$command" ]]; then
        COMPREPLY=($(compgen -W "$commands -h --help -V --version" -- "$cur"))
        return 0
    fi

    case "$prev" in
        --preset)
            # Factory presets, user slots and preset files.
            COMPREPLY=($(compgen -W "F1 F2 F3 F4 F5 F6 F7" -- "$cur"))
            COMPREPLY+=($(compgen -f -- "$cur"))
            return 0 ;;
        --dir|--out)
            COMPREPLY=($(compgen -d -- "$cur"))
            return 0 ;;
        -o|--svg|--csv)
            COMPREPLY=($(compgen -f -- "$cur"))
            return 0 ;;
        --output-format)
            COMPREPLY=($(compgen -W "raw wav flac aiff au caf w64 ogg opus mp3" -- "$cur"))
            return 0 ;;
        --bits)
            COMPREPLY=($(compgen -W "16 24 32" -- "$cur"))
            return 0 ;;
        --channels|--input-channels)
            COMPREPLY=($(compgen -W "1 2" -- "$cur"))
            return 0 ;;
        --rate|--input-rate)
            COMPREPLY=($(compgen -W "44100 48000 88200 96000" -- "$cur"))
            return 0 ;;
        --input-bits)
            COMPREPLY=($(compgen -W "16 24 32f" -- "$cur"))
            return 0 ;;
        --set)
            # The keys the processor lists, each followed by "=".
            COMPREPLY=($(compgen -W "$(drelvant params 2>/dev/null | awk 'NR > 1 && $1 !~ /^\(/ {print $1 "="}')" -- "$cur"))
            compopt -o nospace 2>/dev/null
            return 0 ;;
        --window)
            COMPREPLY=($(compgen -W "$(drelvant params 2>/dev/null | awk 'NR > 1 {print $2}' | sort -u)" -- "$cur"))
            return 0 ;;
        --seed|--block|--seconds|--repeat|--ceiling|--target|-j|--jobs|--name)
            return 0 ;;
        -o|--output-dir)
            COMPREPLY=($(compgen -d -- "$cur"))
            return 0 ;;
    esac

    case "$command" in
        help)
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
            return 0 ;;
        presets)
            if [[ "$prev" == show || "$prev" == export || "$prev" == default || "$prev" == diff || "$prev" == --from ]]; then
                COMPREPLY=($(compgen -W "F1 F2 F3 F4 F5 F6 F7" -- "$cur"))
                COMPREPLY+=($(compgen -f -- "$cur"))
                return 0
            fi ;;
    esac

    if [[ "$cur" == -* ]]; then
        COMPREPLY=($(compgen -W "$(_drelvant_options "$command")" -- "$cur"))
    elif [[ "$command" == process ]]; then
        COMPREPLY=($(compgen -f -- "$cur"))
    elif [[ "$command" == presets ]]; then
        COMPREPLY=($(compgen -W "show export" -- "$cur"))
    fi
    return 0
}

complete -o filenames -F _drelvant drelvant
