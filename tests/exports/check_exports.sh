#!/usr/bin/env bash
# The library must export exactly the JNI functions of the export catalogue, and the catalogue
# must name exactly the native methods of the Java host classes, each with the signature javac
# gives it and bound by its short JNI name or by the long one with the argument signature.
# usage: check_exports.sh linux|windows LIBRARY CATALOGUE_NATIVES JNI_HEADER_DIR
#   CATALOGUE_NATIVES: one line "symbol Class method signature" per export (cmake/ExportCatalogue)
set -euo pipefail
kind=$1 library=$2 catalogue=$3 header_dir=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
package=Java_com_quorvane_inventory_inventoryagent

case $kind in
linux) nm -D --defined-only "$library" | awk '{print $NF}' ;;
windows) x86_64-w64-mingw32-objdump -p "$library" |
    sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' ;;
*) echo "unknown kind $kind" >&2; exit 2 ;;
esac | sort -u >"$work/exported"

awk '{print $1}' "$catalogue" | sort -u >"$work/catalogued"
awk '{print $2, $3, $4}' "$catalogue" | sort -u >"$work/catalogued-natives"
# "Class method signature" of each native method, from the comment javac writes above it.
cat "$header_dir"/*.h | sed -n -e 's/^ \* Class: *com_quorvane_inventory_inventoryagent_\(.*\)$/\1/p' \
    -e 's/^ \* Method: *\(.*\)$/\1/p' -e 's/^ \* Signature: *\(.*\)$/\1/p' | paste -d' ' - - - |
    sort -u >"$work/natives"

status=0
if ! diff -u "$work/catalogued" "$work/exported" >"$work/diff"; then
    echo "export table of $library differs from the catalogue (- missing, + extra):"
    grep -E '^[-+][^-+]' "$work/diff" || cat "$work/diff"
    status=1
fi
if ! diff -u "$work/catalogued-natives" "$work/natives" >"$work/diff"; then
    echo "the catalogue differs from the native methods of the Java host classes (- catalogued" \
        "only, + declared only):"
    grep -E '^[-+][^-+]' "$work/diff" || cat "$work/diff"
    status=1
fi
# The JNI names of a native method: short, or long with its arguments mangled.
while read -r symbol class method signature; do
    arguments=${signature#(}
    arguments=${arguments%%)*}
    mangled=$(printf '%s' "$arguments" | sed -e 's/_/_1/g' -e 's/;/_2/g' -e 's/\[/_3/g' -e 's#/#_#g')
    short=${package}_${class}_${method}
    if [ "$symbol" != "$short" ] && [ "$symbol" != "${short}__${mangled}" ]; then
        echo "$symbol binds no JNI name of $class.$method$signature"
        status=1
    fi
done <"$catalogue"

if [ $status -eq 0 ]; then
    echo "$(wc -l <"$work/exported") of $(wc -l <"$work/natives") native methods exported by $(basename "$library"), nothing else"
fi
exit $status
