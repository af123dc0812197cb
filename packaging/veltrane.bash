# bash completion for veltrane(1)
#
# A new command is one more entry in _veltrane_commands, with the options it takes (as
# listed in "veltrane --help"); an option that takes a value goes into _veltrane_values too,
# with the file name extensions it accepts ("" for any file, "-" for a value that is not a
# file name).

declare -gA _veltrane_commands=(
    [spectrum]="--json --exact --points --from --threads --batch --compare --csv --plot --grid --dpi --"
    [multifractal]="--weights --weights-from --from --points --threads --dq --json --csv --plot --grid --dpi --"
    [cascade]="--weights --weights-from --from --bins --levels --output --threads --"
)
declare -gA _veltrane_values=(
    [--points]=-
    [--dpi]=-
    [--threads]=-
    [--from]=""
    [--batch]=""
    [--weights-from]=""
    [--dq]=-
    [--bins]=-
    [--levels]=-
    [--output]="csv npy f64"
    [--plot]="png svg pdf"
)
_veltrane_global="--help --version"

_veltrane() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    if ((COMP_CWORD == 1)); then
        # shellcheck disable=SC2207 # the words hold no blanks
        COMPREPLY=($(compgen -W "${!_veltrane_commands[*]} $_veltrane_global" -- "$cur"))
        return
    fi

    # After "--" every word is a value, not an option.
    local i
    for ((i = 2; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && return
    done

    # Keys are looked up only when not empty: an empty subscript is an error in bash.
    if [[ -n $prev && -n ${_veltrane_values[$prev]+set} ]]; then
        local extensions=${_veltrane_values[$prev]} extension
        [[ $extensions == - ]] && return
        compopt -o filenames 2>/dev/null
        if [[ -z $extensions ]]; then
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
        fi
        # Folders, to go on into, and the files the option accepts, in either case as the
        # program takes the extension.
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        for extension in $extensions ${extensions^^}; do
            mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen -f -X "!*.$extension" -- "$cur")
        done
        return
    fi

    local command=${COMP_WORDS[1]}
    if [[ -n $command && $cur == -* ]]; then
        # shellcheck disable=SC2207 # the words hold no blanks
        COMPREPLY=($(compgen -W "${_veltrane_commands[$command]-}" -- "$cur"))
    fi
}
complete -F _veltrane veltrane
