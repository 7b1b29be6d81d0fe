# Sourced by every script that runs Wine: finds Wine's 64-bit loader and its server once.
# Sets PALLWICK_WINE and PALLWICK_WINESERVER, both empty when Wine is not installed.
# WINE and WINESERVER, where set, name them as they do for Wine's own scripts.

pallwick_wine_from_package() {
    command -v dpkg-query >/dev/null 2>&1 || return 0
    dpkg-query -L wine64 2>/dev/null | grep -m1 -E "/$1\$" || true
}

pallwick_find_wine() {
    local loader=${WINE:-} server=${WINESERVER:-}
    # WINE=wine64 names a program on the PATH, as a path does.
    [[ -z "$loader" || "$loader" == */* ]] || loader=$(command -v "$loader" || echo none)
    [[ -z "$server" || "$server" == */* ]] || server=$(command -v "$server" || echo none)
    # Debian's wine64 package keeps the loader out of PATH; its wine package adds a wrapper.
    [ -n "$loader" ] || loader=$(command -v wine64 2>/dev/null || true)
    [ -n "$loader" ] || loader=$(pallwick_wine_from_package wine64)
    [ -n "$loader" ] || { [ ! -x /usr/lib/wine/wine64 ] || loader=/usr/lib/wine/wine64; }
    # The server itself, not a wrapper that sets its own persistence: the prefix script
    # keeps the server up for the whole test run.
    [ -n "$server" ] || server=$(pallwick_wine_from_package wineserver64)
    if [ -z "$server" ] && [ -n "$loader" ]; then
        local folder name
        folder=$(dirname "$loader")
        for name in wineserver64 wineserver; do
            if [ -x "$folder/$name" ]; then server=$folder/$name; break; fi
        done
    fi
    [ -n "$server" ] || server=$(command -v wineserver 2>/dev/null || true)
    if [ -n "$loader" ] && [ -x "$loader" ] && [ -n "$server" ] && [ -x "$server" ]; then
        PALLWICK_WINE=$loader PALLWICK_WINESERVER=$server
    else
        PALLWICK_WINE='' PALLWICK_WINESERVER=''
    fi
}

# Stops the server of a prefix and waits until it has saved the registry and gone.
pallwick_stop_wine() {
    [ -n "$PALLWICK_WINESERVER" ] || return 0
    WINEPREFIX=$1 "$PALLWICK_WINESERVER" -k 2>/dev/null || true
    WINEPREFIX=$1 "$PALLWICK_WINESERVER" -w 2>/dev/null || true
}

pallwick_find_wine
