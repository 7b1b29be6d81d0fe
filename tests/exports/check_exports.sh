#!/usr/bin/env bash
# The library must export exactly the JNI functions it implements, each of them the binding of a
# native method of the Java host classes: no missing name, no extra symbol.
# usage: check_exports.sh linux|windows LIBRARY EXPORT_LIST JNI_HEADER_DIR
set -euo pipefail
kind=$1 library=$2 export_list=$3 header_dir=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

case $kind in
linux) nm -D --defined-only "$library" | awk '{print $NF}' ;;
windows) x86_64-w64-mingw32-objdump -p "$library" |
    sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' ;;
*) echo "unknown kind $kind" >&2; exit 2 ;;
esac | sort -u >"$work/exported"

grep -E '^Java_' "$export_list" | sort -u >"$work/implemented"
cat "$header_dir"/*.h | sed -n 's/^JNIEXPORT .* JNICALL \(Java_[A-Za-z0-9_]*\).*/\1/p;s/^ *\(Java_[A-Za-z0-9_]*\)$/\1/p' |
    sort -u >"$work/natives"

status=0
if ! diff -u "$work/implemented" "$work/exported" >"$work/diff"; then
    echo "export table of $library differs from $export_list (- missing, + extra):"
    grep -E '^[-+]Java|^[-+][^-+]' "$work/diff" || cat "$work/diff"
    status=1
fi
# A native method binds by its short JNI name or by the long one with the argument signature.
while read -r name; do
    matched=no
    while read -r native; do
        if [ "$name" = "$native" ] || [[ $name == "${native}__"* ]]; then matched=yes; break; fi
    done <"$work/natives"
    if [ $matched = no ]; then
        echo "exported $name is no native method of the Java host classes"
        status=1
    fi
done <"$work/exported"

if [ $status -eq 0 ]; then
    echo "$(wc -l <"$work/exported") of $(wc -l <"$work/natives") native methods exported by $(basename "$library"), nothing else"
fi
exit $status
