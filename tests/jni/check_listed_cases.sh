#!/usr/bin/env bash
# Every entry of not_on_the_dll.txt must name a case of jni_tests (which builds every source of
# tests/jni): an entry left from a renamed case would hide nothing and say nothing.
# usage: check_listed_cases.sh JNI_TESTS NOT_ON_THE_DLL
set -euo pipefail
program=$1 list=$2
status=0
for entry in $(grep -v '^#' "$list" | awk 'NF {print $1}'); do
    if ! "$program" --gtest_list_tests --gtest_filter="$entry" | grep -q '^  '; then
        echo "$list: no case matches $entry"; status=1
    fi
done
exit $status
