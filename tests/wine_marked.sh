#!/usr/bin/env bash
# Runs one case (or the cases of one filter pattern) that the known Wine differences list marks,
# alone, under Wine: it must still fail there. A marked case that passes, or a pattern that names
# no case, fails this check, so that the list keeps only differences that are real.
# usage: wine_marked.sh PROGRAM CASE [root]
# Exits 77 (skipped) without Wine or its prefix, or for a root-only difference when not root.
set -uo pipefail
program=$1 case=$2 condition=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
if [ "$condition" = root ] && [ "$(id -u)" != 0 ]; then
    echo "skipped: $case differs under Wine only when run as root"
    exit 77
fi
output=$("$here/../cmake/wine-run.sh" "$program" --gtest_filter="$case" 2>&1)
status=$?
if [ $status -eq 77 ]; then
    echo "$output"
    exit 77
fi
if ! grep -q -F "[ RUN      ] " <<<"$output"; then
    echo "no case $case in $(basename "$program"): remove its entry from the known differences"
    exit 1
fi
# A case that crashes Wine's process passes nothing, whatever status the process ends with: a
# crash that Wine hands to its debugger sometimes leaves the status 0.
if [ $status -eq 0 ] && grep -q -F "[  PASSED  ] " <<<"$output" &&
    ! grep -q -F "[  FAILED  ] " <<<"$output"; then
    echo "now passes under Wine: $case (remove its entry from the known differences)"
    exit 1
fi
echo "still differs under Wine, as marked: $case"
