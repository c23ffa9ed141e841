#!/usr/bin/env bash
# Checks the bash completion of kivctl: the words bash would hand it, the
# answers it must give. Runs without the bash-completion package, and again
# with it when it is installed.
set -uo pipefail
completion=$1
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
mkdir -p "$folder/boards/alpha" "$folder/boards/beta"
touch "$folder/boards/afile"

failures=0

# expect "ANSWER" WORD... : the last word is the one being completed; the
# answer is the sorted completions, one blank apart.
expect()
{
    local want=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    # The line as typed: the words a blank apart, but none around '='.
    local word line=
    for word in "$@"; do
        if [[ -z $line || $word == = || $line == *= ]]; then
            line+=$word
        else
            line+=" $word"
        fi
    done
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    _kivctl
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | tr '\n' ' ' | sed 's/ $//')
    if [[ $got != "$want" ]]; then
        echo "FAIL: kivctl ${*:2}: got '$got', want '$want'"
        failures=$((failures + 1))
    fi
}

run_cases()
{
    local b=$folder/boards
    expect "board comment delete departments inbox log page read send server shutdown status statuses watch" kivctl ""
    expect "status statuses" kivctl st
    expect "--board --help --version" kivctl -
    expect "$b/alpha $b/beta" kivctl --board "$b/"
    expect "$b/alpha $b/beta" kivctl --board = "$b/"
    expect "board" kivctl --board "$b/alpha" bo
    expect "watch" kivctl --board = "$b/alpha" wa
    expect "--csv --department --help --json --offline" kivctl board -
    expect "--department --help --offline" kivctl board --csv -
    expect "--help --offline" kivctl board --department Sales --csv -
    expect "" kivctl board --department ""
    expect "--help" kivctl inbox --json -
    expect "--every --help --out" kivctl page -
    expect "--help --until --user" kivctl status -
    expect "--interval" kivctl watch --i
    expect "" kivctl watch --interval ""
    expect "--help" kivctl send -
    expect "add" kivctl statuses ""
    expect "add" kivctl departments a
    expect "" kivctl departments add ""
    expect "off on" kivctl shutdown ""
    expect "import init" kivctl server ""
    expect "--csv --help" kivctl log -
    expect "" kivctl board -- -
}

# shellcheck source=/dev/null
source "$completion"
run_cases

# With the bash-completion package, its own helpers take the words apart.
library=/usr/share/bash-completion/bash_completion
if [ -r "$library" ]; then
    (
        # shellcheck source=/dev/null
        source "$library"
        # shellcheck source=/dev/null
        source "$completion"
        declare -F _init_completion >/dev/null || exit 1
        run_cases
        exit "$failures"
    ) || failures=$((failures + 1))
    echo "kivctl completion: checked with $library too"
fi

((failures == 0)) && echo "kivctl completion: all cases pass"
exit $((failures > 0))
