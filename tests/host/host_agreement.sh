#!/usr/bin/env bash
# Plays the host program's scenarios twice on the wineboot-made prefix and fails on any
# difference between the two runs, or when either run fails (a breach of JNI's rules, a library
# that would not load).
# usage: host_agreement.sh jvm HOST LIBRARY
#          a real JVM (--jvm) and the JNI stand-in, both on libPallwick.so over the layer;
#        host_agreement.sh dll|log LINUX_HOST LINUX_LIBRARY WINDOWS_HOST DLL
#          the Linux host (stand-in) on libPallwick.so over the layer, and the Windows host on
#          Pallwick.dll under Wine: dll compares what the two print, log the records the two
#          libraries write to their diagnostic logs (thread ids, times and the system's wording
#          of an error code aside).
# The known differences list (PALLWICK_WINE_DIFFERENCES) sets apart its entries for
# host_dll_agreement and host_log_agreement, as the differential tests do.
# Exits 77 (skipped) without the prefix, and for dll and log without Wine or the Linux build.
set -euo pipefail
mode=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine.sh"
source "$here/../wine_differences.sh"
prefix=${PALLWICK_WINEBOOT_PREFIX:-}
if [ -z "$prefix" ] || [ ! -s "$prefix/system.reg" ]; then
    echo "skipped: no wineboot-made prefix in PALLWICK_WINEBOOT_PREFIX"
    exit 77
fi
work=$(mktemp -d)
level_set=
cleanup() {
    if [ -n "$level_set" ]; then
        wine_reg delete 'HKLM\Software\Quorvane' /f
    fi
    rm -rf "$work"
}
trap cleanup EXIT
status=0
linux_prefix=$prefix

# Runs a host from a copy of its own in $work/SIDE/bin, so that its library logs to a fresh
# $work/SIDE/logs; what it prints goes to $work/SIDE.out.
run_copy() {
    local side=$1 host=$2
    shift 2
    mkdir -p "$work/$side/bin"
    cp "$host" "$work/$side/bin/"
    "$@" "$work/$side/bin/$(basename "$host")" >"$work/$side.out" 2>"$work/$side.err" || {
        echo "the $side run failed:"
        head -20 "$work/$side.err"
        status=1
    }
    tr -d '\r' <"$work/$side.out" >"$work/$side"
}

linux_run() {
    local host=$1
    shift
    WINEPREFIX=$linux_prefix "$host" "$@"
}

wine_reg() {
    WINEPREFIX=$prefix WINEDEBUG=-all "$PALLWICK_WINE" reg "$@" </dev/null >/dev/null 2>&1
}

# Both libraries log at the detail level (1), told the same way: NativeLoggingLevelValue under
# HKLM\Software\Quorvane. Wine's server holds the value from now until the test ends; the layer
# reads the prefix's system.reg as it starts, so the Linux run gets a prefix of links to this one
# whose own system.reg holds the value as well. A prefix that has the key already is left alone.
log_in_detail() {
    if grep -q -i '^\[Software\\\\Quorvane\]' "$prefix/system.reg"; then
        return 0
    fi
    wine_reg add 'HKLM\Software\Quorvane' /v NativeLoggingLevelValue /t REG_DWORD /d 1 /f
    level_set=1
    linux_prefix=$work/prefix
    mkdir "$linux_prefix"
    local entry
    for entry in "$prefix"/* "$prefix"/.[!.]*; do
        if [ -e "$entry" ]; then
            ln -s "$entry" "$linux_prefix/"
        fi
    done
    rm "$linux_prefix/system.reg"
    cp "$prefix/system.reg" "$linux_prefix/system.reg"
    printf '\n[Software\\\\Quorvane] 1796690000\n"NativeLoggingLevelValue"=dword:00000001\n' \
        >>"$linux_prefix/system.reg"
}

wine_run() {
    local host=$1
    shift
    "$here/../../cmake/wine-run.sh" "$host" "$@" </dev/null
}

dos_path() {
    echo "Z:$(realpath "$1" | tr / '\\')"
}

# One line per record, with what differs by run set to a fixed text: the thread id after the
# function, the time in the trailer, the system's text after an error code.
log_records() {
    cat "$work/$1"/logs/*.LOG | tr -d '\r' |
        sed -E -e 's/^(~[^ ]*\(\): )[0-9A-F]+: /\1<thread>: /' \
            -e 's/<x [A-Za-z?]{3} [0-9]{2} [0-9:.]{12} [0-9]{4}>/<x time>/' \
            -e 's/(System code: -?[0-9]+: ).*(\$\$<)/\1<text>\2/'
}

case $mode in
jvm)
    host=$1 library=$2
    run_copy jvm "$host" linux_run --jvm "$library"
    run_copy standin "$host" linux_run "$library"
    left=jvm right=standin
    ;;
dll | log)
    linux_host=$1 linux_library=$2 windows_host=$3 dll=$4
    if [ -z "$PALLWICK_WINE" ]; then
        echo "skipped: no Wine"
        exit 77
    fi
    if [ ! -x "$linux_host" ] || [ ! -s "$linux_library" ]; then
        echo "skipped: no $linux_host or $linux_library; build the linux preset first"
        exit 77
    fi
    if [ "$mode" = log ]; then
        log_in_detail
    fi
    run_copy linux "$linux_host" linux_run "$linux_library"
    run_copy wine "$windows_host" wine_run "$(dos_path "$dll")"
    if [ "$mode" = log ]; then
        log_records linux >"$work/linux"
        log_records wine >"$work/wine"
    fi
    left=wine right=linux
    if [ -n "${PALLWICK_WINE_DIFFERENCES:-}" ]; then
        set_wine_differences_apart "host_${mode}_agreement" "$PALLWICK_WINE_DIFFERENCES" \
            "$work/wine" "$work/linux" || status=1
    fi
    ;;
*)
    echo "usage: $0 jvm HOST LIBRARY | dll|log LINUX_HOST LINUX_LIBRARY WINDOWS_HOST DLL" >&2
    exit 2
    ;;
esac

if ! diff -u "$work/$left" "$work/$right" >"$work/diff"; then
    echo "host_${mode}_agreement: the runs differ (- $left, + $right):"
    head -100 "$work/diff"
    exit 1
fi
echo "host_${mode}_agreement: $left and $right agree on $(wc -l <"$work/$right") lines"
exit $status
