# Bash completion for kavel-report: options, formats, and file and folder names.
_kavel_report() {
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
        --strings|--output|--files-from|--baseline)
            COMPREPLY=($(compgen -f -- "$cur"))
            compopt -o filenames 2>/dev/null
            return ;;
        --format)
            COMPREPLY=($(compgen -W "report grep json sarif github gitlab" -- "$cur"))
            return ;;
        --jobs|-j|--exclude)
            return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--strings --output --files-from --null --exclude --format
            --baseline --baseline-all --walk-vcs --jobs --quiet --version --help -0 -j -q -h" -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -f -- "$cur"))
    compopt -o filenames 2>/dev/null
}
complete -F _kavel_report kavel-report
