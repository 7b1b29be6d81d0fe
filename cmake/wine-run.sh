#!/usr/bin/env bash
# Runs a Windows test program under wine64 in the test prefix that scripts/wine-prefix made.
# CTest uses it as the cross build's emulator.
set -euo pipefail
export WINEPREFIX=${PALLWICK_WINE_PREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build/wine-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
exec /usr/lib/wine/wine64 "$@"
