# Bash completion for qdcat, the command-line companion of Qd: its commands,
# every command's options, catalog files, folders and drive kinds. Plain
# bash, so it works with or without the bash-completion package.

_qdcat_files()
{
    # Catalog files and folders to reach them, names with blanks kept whole.
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -d -- "$1") $(compgen -f -X '!*.[qQ][dD]' -- "$1"))
}

_qdcat()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local commands="dump ls export search disks duplicates drives scan identify update watch help"
    local cmd="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} != -* ]]; then
            cmd=${COMP_WORDS[i]}
            break
        fi
    done
    COMPREPLY=()
    if [[ -z $cmd ]]; then
        COMPREPLY=($(compgen -W "$commands -h --help --help-all -v --version" -- "$cur"))
        return
    fi

    # The value of an option, also after --option=.
    if [[ $cur == = ]]; then
        cur=""
    elif [[ $prev == = ]]; then
        prev=${COMP_WORDS[COMP_CWORD-2]}
    fi
    case $prev in
        --root | --folder)
            local IFS=$'\n'
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur"))
            return
            ;;
        --in)
            _qdcat_files "$cur"
            return
            ;;
        --kind)
            COMPREPLY=($(compgen -W "fixed removable cdrom network ram" -- "$cur"))
            return
            ;;
        --title | --glob | --regex | --min-size | --max-size | --after | --before | --map | --unmap | --label | --serial)
            return
            ;;
    esac

    local options="-h --help --help-all"
    case $cmd in
        dump) options+=" --paths" ;;
        ls) ;;
        update) options+=" --wait" ;;
        export) options+=" --csv --json --bom" ;;
        search) options+=" --root --in -i --ignore-case --glob --regex --folders --min-size --max-size --after --before --json" ;;
        disks) options+=" --root --files --json" ;;
        duplicates) options+=" --root --min-size --json" ;;
        drives) options+=" --map --label --serial --kind --unmap" ;;
        scan) options+=" --title --root --folder --force --wait" ;;
        identify | watch) options+=" --root" ;;
        help)
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
            return
            ;;
        *) return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    case $cmd in
        dump | ls | export | update) _qdcat_files "$cur" ;;
    esac
}

complete -F _qdcat qdcat
