#!/bin/bash
# The bash completion of vardel-flash, sourced into a plain shell: what it
# offers after an option, after --port, after --timeout and for FIRMWARE.
# Usage: vardel_flash_completion_test.sh COMPLETION_FILE PROGRAM_FOLDER
set -u
source "$1" || exit 1
# The completion asks the program for its options.
PATH="$2:$PATH"
failures=0

# complete_words WORD... : the offers for the last word, one a line, sorted.
complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _vardel_flash
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

expect() {  # expect NAME EXPECTED ACTUAL
    if [[ $2 != "$3" ]]; then
        printf 'FAIL %s\n  expected: %q\n  got:      %q\n' "$1" "$2" "$3"
        failures=$((failures + 1))
    fi
}

expect "registered for the program" "complete -F _vardel_flash vardel-flash" \
    "$(complete -p vardel-flash)"
expect "options by prefix" $'--json' "$(complete_words vardel-flash --j)"
expect "every long option" $'--check\n--help\n--json\n--list-ports\n--log\n--max-parallel\n--no-reset\n--port\n--quiet\n--skip-present\n--timeout\n--trace\n--version\n--watch' \
    "$(complete_words vardel-flash --)"
expect "both spellings of quiet" $'-q' "$(complete_words vardel-flash -q)"
expect "a port after -p" "/dev/tty" "$(complete_words vardel-flash -p /dev/tty | head -n 1)"
expect "only devices after --port" "" \
    "$(complete_words vardel-flash --port /dev/tty | grep -v -e '^/dev/tty' -e '^/dev/serial/by-id/')"
expect "nothing to offer for seconds" "" "$(complete_words vardel-flash --timeout '')"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
touch "$scratch/KD51A.BIN" "$scratch/MTK51A.BIN" "$scratch/notes.txt"
cd "$scratch" || exit 1
expect "firmware by file name" $'KD51A.BIN' "$(complete_words vardel-flash -p /dev/ttyS0 KD)"
expect "file names with a space" $'a b.bin' "$(touch 'a b.bin' && complete_words vardel-flash 'a ')"

if ((failures > 0)); then
    exit 1
fi
echo "vardel-flash completion: all cases passed"
