#!/usr/bin/env bash
# Runs a Windows test program under Wine in the wineboot-made prefix that PALLWICK_WINEBOOT_PREFIX
# names (the tests' prefix fixture sets it). CTest uses it as the cross build's emulator.
# Exits 77 (skipped) when Wine or the prefix is missing: nothing could be checked.
set -euo pipefail
source "$(dirname "$0")/../scripts/wine.sh"
prefix=${PALLWICK_WINEBOOT_PREFIX:-}
if [ -z "$PALLWICK_WINE" ] || [ -z "$prefix" ] || [ ! -s "$prefix/system.reg" ]; then
    echo "skipped: no Wine, or no wineboot-made prefix in PALLWICK_WINEBOOT_PREFIX" >&2
    exit 77
fi
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
exec "$PALLWICK_WINE" "$@"
