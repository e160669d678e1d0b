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
        --changed-since)
            COMPREPLY=($(compgen -W "$(git for-each-ref --format='%(refname:short)' 2>/dev/null) HEAD" -- "$cur"))
            return ;;
        --jobs|-j|--exclude)
            return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--strings --output --files-from --null --exclude --format
            --baseline --baseline-all --all-results --changed-since --no-markers --strict-markers
            --walk-vcs --jobs --quiet --version --help -0 -j -q -h" -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -f -- "$cur"))
    compopt -o filenames 2>/dev/null
}
complete -F _kavel_report kavel-report
