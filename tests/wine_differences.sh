# Sourced by the differential tests: sets their known Wine differences apart before they compare,
# and notices a difference that has gone away.

# Leaves out of WINE_LINES and OTHER_LINES (files, one compared item a line) what the entries of
# TEST in the known differences list match. Prints "now agrees under Wine" for every entry whose
# lines agree on both sides, and then returns 1.
set_wine_differences_apart() {
    local test=$1 list=$2 wine_lines=$3 other_lines=$4
    local patterns gone=0 pattern side
    patterns=$(mktemp)
    awk -v test="$test" '$1 == test { sub(/^[^ ]+ +/, ""); print }' "$list" >"$patterns"
    while IFS= read -r pattern; do
        if [ "$(grep -E -e "$pattern" "$wine_lines" || true)" = \
             "$(grep -E -e "$pattern" "$other_lines" || true)" ]; then
            echo "now agrees under Wine: $test $pattern (remove it from $list)"
            gone=1
        fi
    done <"$patterns"
    if [ -s "$patterns" ]; then
        for side in "$wine_lines" "$other_lines"; do
            { grep -v -E -f "$patterns" "$side" || true; } >"$side.kept"
            mv "$side.kept" "$side"
        done
    fi
    rm -f "$patterns"
    return $gone
}
