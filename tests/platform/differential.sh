#!/usr/bin/env bash
# Runs one Win32 tool twice on the same Wine prefix, over the layer on Linux and under Wine, and
# fails on any difference in what the two print.
# usage: differential.sh TEST LINUX_TOOL WINDOWS_TOOL [ARGUMENTS...]
#   with NAMES_FROM=<folder below the prefix's drive_c>, the folder's file names go to both runs
#   on standard input;
#   with KEY_BLOCKS=1, the output is a registry walk: each key with its values is compared as one
#   block, in sorted order (Wine sorts subkey names by their lower-case form, Windows by upper
#   case);
#   with PALLWICK_WINE_DIFFERENCES=<known differences list> (the prefix fixture sets it), the
#   list's entries for TEST are set apart.
# Exits 77 (skipped) without Wine or without the wineboot-made prefix in PALLWICK_WINEBOOT_PREFIX.
set -euo pipefail
name=$1 linux_tool=$2 windows_tool=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine.sh"
prefix=${PALLWICK_WINEBOOT_PREFIX:-}
if [ -z "$PALLWICK_WINE" ] || [ -z "$prefix" ] || [ ! -s "$prefix/system.reg" ]; then
    echo "skipped: no Wine, or no wineboot-made prefix in PALLWICK_WINEBOOT_PREFIX"
    exit 77
fi
if [ ! -x "$linux_tool" ]; then
    echo "skipped: no $linux_tool; build the linux preset first"
    exit 77
fi
source "$here/../wine_differences.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ -n "${NAMES_FROM:-}" ]; then
    (cd "$prefix/drive_c/$NAMES_FROM" && LC_ALL=C ls) >"$work/names"
else
    : >"$work/names"
fi
WINEPREFIX=$prefix "$linux_tool" "$@" <"$work/names" >"$work/layer"
"$here/../../cmake/wine-run.sh" "$windows_tool" "$@" <"$work/names" |
    tr -d '\r' >"$work/wine"

if [ -n "${KEY_BLOCKS:-}" ]; then
    for side in wine layer; do
        awk '/^\[/ { if (block != "") print block; block = $0; next }
             { block = block "\t" $0 }
             END { if (block != "") print block }' "$work/$side" |
            LC_ALL=C sort >"$work/$side.blocks"
        mv "$work/$side.blocks" "$work/$side"
    done
fi
status=0
if [ -n "${PALLWICK_WINE_DIFFERENCES:-}" ]; then
    set_wine_differences_apart "$name" "$PALLWICK_WINE_DIFFERENCES" "$work/wine" "$work/layer" ||
        status=1
fi
if ! diff -u "$work/wine" "$work/layer" >"$work/diff"; then
    echo "$name: the layer and Wine differ (- Wine, + layer):"
    head -100 "$work/diff"
    exit 1
fi
echo "$name: layer and Wine agree on $(wc -l <"$work/layer") lines"
exit $status
