#!/usr/bin/env bash
# jni_dll_tests must test the product, not a copy of its code: every export it calls is imported
# from Pallwick.dll, and the program defines no export and no log of its own (an import's jump
# stub carries the export's name, beside its __imp_ pointer: that one is the DLL's).
# The Pallwick.dll beside the program, which Windows loads first, must be the one just built.
# usage: check_dll_calls.sh TEST_PROGRAM BUILT_DLL
set -euo pipefail
program=$1 built=$2
imports=$(x86_64-w64-mingw32-objdump -p "$program" |
    awk '/DLL Name:/ {dll = $3} $NF ~ /^Java_/ {print dll, $NF}')
symbols=$(x86_64-w64-mingw32-nm --defined-only "$program" | awk '{print $NF}')
defined=$(grep -E '^Java_|DiagnosticLog' <<<"$symbols" |
    grep -vxFf <(sed -n 's/^__imp_//p' <<<"$symbols") || true)
status=0
if [ -z "$imports" ]; then
    echo "$program imports no export"; status=1
fi
if grep -v '^Pallwick.dll ' <<<"$imports"; then
    echo "^ imported from elsewhere than Pallwick.dll"; status=1
fi
if [ -n "$defined" ]; then
    echo "$program holds library code of its own:"; echo "$defined"; status=1
fi
if ! cmp -s "$built" "$(dirname "$program")/Pallwick.dll"; then
    echo "the Pallwick.dll beside $program is not $built"; status=1
fi
[ $status -ne 0 ] || echo "$(wc -l <<<"$imports") exports, all from Pallwick.dll"
exit $status
