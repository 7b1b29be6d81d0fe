#!/usr/bin/env bash
# Runs a Windows test program under Wine (cmake/wine-run.sh) with the registry value that sets
# Pallwick.dll's log level, which the DLL reads once, when it loads; the value goes again after.
# usage: at_log_level.sh LEVEL PROGRAM [ARGS...]
set -uo pipefail
level=$1
shift
run=$(dirname "$0")/../../cmake/wine-run.sh
key='HKLM\SOFTWARE\Quorvane'
"$run" reg add "$key" /v NativeLoggingLevelValue /t REG_DWORD /d "$level" /f >/dev/null || exit
"$run" "$@"
status=$?
"$run" reg delete "$key" /v NativeLoggingLevelValue /f >/dev/null || status=1
exit $status
