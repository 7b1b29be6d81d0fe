#!/usr/bin/env bash
# Walks HKLM\Software of the wineboot-made prefix twice, through the registry agent's exports in a
# JVM and with Wine's own `reg query /s`, and fails on any key or value where the two disagree.
# Wine's types and data forms are first mapped to the agent's type codes and texts. Each line
# compared is one key, or one value of a key, so that order does not count (Wine keeps values
# sorted, and sorts subkey names by their lower-case form); the keys that the known Wine
# differences list gives for this test, with its reasons, are compared apart.
# usage: registry_inventory_differential.sh WALKER KNOWN_DIFFERENCES
# Exits 77 (skipped) when PALLWICK_WINEBOOT_PREFIX names no prefix or Wine is missing.
set -euo pipefail
walker=$1 known=$2
source "$(dirname "$0")/../../scripts/wine.sh"
source "$(dirname "$0")/../wine_differences.sh"
prefix=${PALLWICK_WINEBOOT_PREFIX:-}
wine=$PALLWICK_WINE
if [ -z "$prefix" ] || [ ! -s "$prefix/system.reg" ] || [ -z "$wine" ]; then
    echo "skipped: no wineboot-made prefix in PALLWICK_WINEBOOT_PREFIX, or no Wine"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root='HKEY_LOCAL_MACHINE\Software'

# Files, not pipes, on both ends: Wine's services keep inherited pipes open.
WINEPREFIX=$prefix WINEDEBUG=-all "$wine" reg query "$root" /s </dev/null >"$work/wine.raw" \
    2>"$work/wine.err"
WINEPREFIX=$prefix "$walker" "$root" </dev/null >"$work/agent.raw" 2>"$work/agent.err"

# Wine's value lines in the agent's terms: REG_BINARY keeps its hex text (code 2), REG_DWORD
# becomes signed decimal (code 3), REG_MULTI_SZ its first string, REG_QWORD and any other typed as
# hex bytes become those bytes as text up to the first zero byte, every string type code 1.
tr -d '\r' <"$work/wine.raw" | awk '
    function hexvalue(text,   i, n) {
        n = 0
        for (i = 1; i <= length(text); ++i) {
            n = n * 16 + index("0123456789abcdef", tolower(substr(text, i, 1))) - 1
        }
        return n
    }
    function signed32(text,   n) {
        n = hexvalue(substr(text, 3))
        return n >= 2147483648 ? sprintf("%.0f", n - 4294967296) : sprintf("%.0f", n)
    }
    function bytestext(hex,   i, b, out) {
        out = ""
        for (i = 1; i + 1 <= length(hex); i += 2) {
            b = hexvalue(substr(hex, i, 2))
            if (b == 0) break
            out = out sprintf("%c", b)
        }
        return out
    }
    # 0x-prefixed little-endian number as its bytes in memory order, as hex text.
    function qwordbytes(text,   digits, out, i) {
        digits = substr(text, 3)
        while (length(digits) < 16) digits = "0" digits
        out = ""
        for (i = 15; i >= 1; i -= 2) out = out substr(digits, i, 2)
        return out
    }
    /^    / {
        line = substr($0, 5)
        at = index(line, "    REG_")
        if (at == 0) { print; next }
        name = substr(line, 1, at - 1)
        rest = substr(line, at + 4)
        split_at = index(rest, "    ")
        type = split_at ? substr(rest, 1, split_at - 1) : rest
        data = split_at ? substr(rest, split_at + 4) : ""
        if (type == "REG_BINARY") { code = 2; text = data }
        else if (type == "REG_DWORD") { code = 3; text = signed32(data) }
        else if (type == "REG_MULTI_SZ") {
            code = 1; cut = index(data, "\\0"); text = cut ? substr(data, 1, cut - 1) : data
        }
        else if (type == "REG_QWORD") { code = 1; text = bytestext(qwordbytes(data)) }
        else if (type == "REG_SZ" || type == "REG_EXPAND_SZ") { code = 1; text = data }
        else { code = 1; text = bytestext(data) }
        printf "    %s    %s    %s\n", name, code, text
        next
    }
    { print }' >"$work/wine.mapped"

# One line per key, "[path below HKLM]", and one per value, "[path]<TAB>value line": the form the
# known differences file matches.
lines() {
    awk -v root="$root" '
        /^HKEY_/ { key = "[" substr($0, length("HKEY_LOCAL_MACHINE\\") + 1) "]"; print key; next }
        /^$/ { next }
        { print key "\t" $0 }' "$1" | LC_ALL=C sort
}
lines "$work/wine.mapped" >"$work/wine"
lines "$work/agent.raw" >"$work/agent"
status=0
set_wine_differences_apart registry_inventory_differential "$known" "$work/wine" "$work/agent" ||
    status=1

if [ -s "$work/agent.err" ]; then
    echo "the walk through the agent reported:"
    head -20 "$work/agent.err"
fi
if ! diff -u "$work/wine" "$work/agent" >"$work/diff"; then
    echo "registry agent and Wine differ on $root (- Wine, + agent):"
    head -100 "$work/diff"
    exit 1
fi
echo "registry agent and Wine agree on $root: $(grep -c -v $'\t' "$work/agent") keys," \
    "$(grep -c $'\t' "$work/agent") values"
exit $status
