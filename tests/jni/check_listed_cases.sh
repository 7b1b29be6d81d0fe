#!/usr/bin/env bash
# Every entry of not_on_the_dll.txt must name a case of jni_dll_tests: an entry for a case the DLL's
# program does not even hold (a Linux-only source, a renamed case) would hide nothing and say
# nothing. The program lists its cases once; each entry, a whole line, is a googletest filter
# pattern, so that a line with more than the pattern matches no case either.
# usage: check_listed_cases.sh NOT_ON_THE_DLL PROGRAM... (the program with what runs it)
set -uo pipefail
list=$1
shift
listing=$("$@" --gtest_list_tests | tr -d '\r')
status=$?
if [ $status -eq 77 ]; then
    echo "$listing"
    exit 77
fi
if [ $status -ne 0 ]; then
    echo "$listing"
    echo "could not list the cases of $*"
    exit 1
fi
# "Suite." lines, then "  Case" lines; parameters and their comments after the names go.
cases=$(awk '/^[^ ]/ {suite = $1} /^  / {print suite $1}' <<<"$listing")
status=0
while IFS= read -r entry; do
    found=0
    while IFS= read -r name; do
        # shellcheck disable=SC2053 # the entry is a pattern
        if [[ $name == $entry ]]; then
            found=1
            break
        fi
    done <<<"$cases"
    if [ $found -eq 0 ]; then
        echo "$list: no case of $(basename "${!#}") matches $entry"
        status=1
    fi
done < <(grep -v -e '^#' -e '^$' "$list")
exit $status
