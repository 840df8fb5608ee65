# bash completion for tessaromandel-cli
_tessaromandel_cli()
{
    local cur prev words cword
    _init_completion || return

    local subcommands="replace replace-pairs header footer rename-sheets"
    local subcommand="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
        replace | replace-pairs | header | footer | rename-sheets)
            subcommand=${words[i]}
            break
            ;;
        esac
    done

    case $prev in
    --find-file | --replace-file)
        _filedir
        return
        ;;
    --position)
        COMPREPLY=($(compgen -W "left center right 左边 中间 右边" -- "$cur"))
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

    if [[ $cur == -* ]]; then
        local options="--open-reports --verbose --help"
        case $subcommand in
        replace) options+=" --find --replace --list-only" ;;
        replace-pairs) options+=" --find-file --replace-file --list-only" ;;
        header | footer) options+=" --position --find --replace" ;;
        rename-sheets) options+=" --find --replace --nth" ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    _filedir -d
} &&
    complete -F _tessaromandel_cli tessaromandel-cli
