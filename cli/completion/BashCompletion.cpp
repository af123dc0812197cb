// Writes the bash completion of veltrane(1) on standard output, from the option table: the
// build installs what it writes, so that the completion offers what the program takes.
#include "OptionTable.h"

#include <iostream>
#include <string>
#include <veltrane/process/ExitStatus.h>

namespace {

using veltrane::cli::Command;
using veltrane::cli::Option;
using veltrane::cli::Value;

// The word list the completion offers after the command: its options in --help's order.
std::string optionsOf(Command command) {
    std::string words;
    for (const Option* option : veltrane::cli::kOptions) {
        if (option->commands.contain(command)) {
            words += (words.empty() ? "" : " ") + std::string(option->word);
        }
    }
    return words;
}

std::string commandsArray() {
    std::string text = "declare -gA _veltrane_commands=(\n";
    for (const auto& [command, word] : veltrane::cli::kCommandWords) {
        text += "    [" + std::string(word) + "]=\"" + optionsOf(command) + "\"\n";
    }
    return text + ")\n";
}

// Each option followed by a value: the extensions of the files it takes ("" for any file), or
// "-" for a value that is not a file name.
std::string valuesArray() {
    std::string text = "declare -gA _veltrane_values=(\n";
    for (const Option* option : veltrane::cli::kOptions) {
        if (takesValue(*option)) {
            const std::string value =
                option->value == Value::File ? "\"" + std::string(option->extensions) + "\"" : "-";
            text += "    [" + std::string(option->word) + "]=" + value + "\n";
        }
    }
    return text + ")\n";
}

std::string programOptions() {
    std::string words;
    for (const std::string_view word : veltrane::cli::kProgramOptions) {
        words += (words.empty() ? "" : " ") + std::string(word);
    }
    return "_veltrane_global=\"" + words + "\"\n";
}

constexpr std::string_view kHead =
    R"bash(# bash completion for veltrane(1), written from the program's option table by the build
#
# _veltrane_commands holds each command with the options it takes; _veltrane_values each
# option that takes a value, with the file name extensions it accepts ("" for any file, "-"
# for a value that is not a file name).

)bash";

constexpr std::string_view kFunction = R"bash(
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
)bash";

} // namespace

int main() {
    std::cout << kHead << commandsArray() << valuesArray() << programOptions() << kFunction;
    std::cout.flush();
    // A build that could not write the script fails rather than install part of it.
    return std::cout ? veltrane::process::kExitOk : veltrane::process::kExitFailure;
}
