# bash completion for tessaromandel-cli
_tessaromandel_cli()
{
    local cur prev words cword
    _init_completion || return

    local subcommands="replace replace-pairs header footer rename-sheets runs undo"
    local subcommand="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
        replace | replace-pairs | header | footer | rename-sheets | runs | undo)
            subcommand=${words[i]}
            break
            ;;
        esac
    done

    case $prev in
    --find-file | --replace-file | --log)
        _filedir
        return
        ;;
    --encoding)
        COMPREPLY=($(compgen -W "GBK GB18030 UTF-8 UTF-16LE UTF-16BE Big5" -- "$cur"))
        return
        ;;
    --position)
        COMPREPLY=($(compgen -W "left center right 左边 中间 右边" -- "$cur"))
        return
        ;;
    --jobs)
        COMPREPLY=($(compgen -W "1 2 4 8 $(nproc 2>/dev/null)" -- "$cur"))
        return
        ;;
    --find | --replace | --nth)
        return
        ;;
    esac

    if [[ -z $subcommand ]]; then
        COMPREPLY=($(compgen -W "$subcommands --help" -- "$cur"))
        return
    fi

    case $subcommand in
    runs)
        COMPREPLY=($(compgen -W "--help" -- "$cur"))
        return
        ;;
    undo)
        # The kept runs' ids, from the first column of the list.
        local ids
        ids=$(tessaromandel-cli runs 2>/dev/null | awk -F'\t' 'NR > 1 { print $1 }')
        COMPREPLY=($(compgen -W "$ids --help" -- "$cur"))
        return
        ;;
    esac

    if [[ $cur == -* ]]; then
        local options="--open-reports --verbose --log --no-undo --jobs --help"
        case $subcommand in
        replace) options+=" --find --replace --list-only" ;;
        replace-pairs) options+=" --find-file --replace-file --list-only --encoding" ;;
        header | footer) options+=" --position --find --replace" ;;
        rename-sheets) options+=" --find --replace --nth" ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    _filedir -d
} &&
    complete -F _tessaromandel_cli tessaromandel-cli
