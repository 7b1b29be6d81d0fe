#!/usr/bin/env bash
# The DLL must load on a clean Windows: it may import only the system DLLs named, never a mingw
# runtime DLL (libstdc++, libgcc, libwinpthread) that a dropped static link would bring in.
# usage: check_imports.sh LIBRARY SYSTEM_DLL...
set -euo pipefail
library=$1
shift
allowed=$(printf '%s.dll\n' "$@" | tr '[:upper:]' '[:lower:]')
imported=$(x86_64-w64-mingw32-objdump -p "$library" | sed -n 's/^\s*DLL Name: //p' |
    tr '[:upper:]' '[:lower:]' | sort -u)
if [ -z "$imported" ]; then
    echo "no import table read from $library"
    exit 1
fi
others=$(grep -vxFf <(echo "$allowed") <<<"$imported" || true)
if [ -n "$others" ]; then
    echo "$(basename "$library") imports DLLs that are not the system's:"
    echo "$others"
    exit 1
fi
echo "$(basename "$library") imports only" $imported
