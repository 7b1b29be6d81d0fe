#!/usr/bin/env bash
# Plays the host program's scenarios twice on the wineboot-made prefix and fails on any
# difference between the two runs, or when either run fails (a breach of JNI's rules, a library
# that would not load).
# usage: host_agreement.sh jvm HOST LIBRARY
#          a real JVM (--jvm) and the JNI stand-in, both on libPallwick.so over the layer;
#        host_agreement.sh dll|log LINUX_HOST LINUX_LIBRARY WINDOWS_HOST DLL
#          the Linux host (stand-in) on libPallwick.so over the layer, and the Windows host on
#          Pallwick.dll under Wine: dll compares what the two print, log the records the two
#          libraries write to their diagnostic logs (thread ids and times aside), both at the
#          detail level.
# The known differences list (PALLWICK_WINE_DIFFERENCES) sets apart its entries for
# host_dll_agreement and host_log_agreement, as the differential tests do.
# Exits 77 (skipped) without the prefix, and for dll and log without Wine or the Linux build.
set -euo pipefail
# The logs hold ANSI text: bytes, not characters of the locale.
export LC_ALL=C
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
detail_level=
cleanup() {
    if [ -n "$detail_level" ]; then
        restore_prefix_level
    fi
    rm -rf "$work"
}
trap cleanup EXIT
status=0

# run_copy SIDE HOST RUNNER ARGUMENTS...: runs a copy of HOST in $work/SIDE.run/bin through
# RUNNER, so that its library logs to a fresh $work/SIDE.run/logs; what it prints goes to
# $work/SIDE.
run_copy() {
    local side=$1 host=$2 runner=$3
    shift 3
    mkdir -p "$work/$side.run/bin"
    cp "$host" "$work/$side.run/bin/"
    "$runner" "$work/$side.run/bin/$(basename "$host")" "$@" >"$work/$side.out" \
        2>"$work/$side.err" || {
        echo "the $side run failed:"
        head -20 "$work/$side.err"
        status=1
    }
    tr -d '\r' <"$work/$side.out" >"$work/$side"
}

linux_run() {
    local host=$1
    shift
    WINEPREFIX=$prefix "$host" "$@"
}

wine_run() {
    local host=$1
    shift
    "$here/../../cmake/wine-run.sh" "$host" "$@" </dev/null
}

stop_wine() {
    pallwick_stop_wine "$prefix"
}

# As the prefix script starts it.
start_wine() {
    WINEPREFIX=$prefix WINEDEBUG=-all setsid "$PALLWICK_WINESERVER" -p </dev/null >/dev/null 2>&1 &
    WINEPREFIX=$prefix WINEDEBUG=-all setsid "$PALLWICK_WINE" wineboot </dev/null >/dev/null 2>&1
}

# Both libraries read their log level, NativeLoggingLevelValue under HKLM\Software\Quorvane, from
# the prefix's system.reg as they start (Wine's server reads it as it starts). With the server
# stopped, the file gets the detail level (1); once the runs are done, the file as it was comes
# back before the server starts again, so that nothing of the shared prefix changes, not even a
# key's last-write time (which adding and deleting the key through Wine would move).
set_prefix_level() {
    if grep -q -i '^\[Software\\\\Quorvane\]' "$prefix/system.reg"; then
        return 0
    fi
    cp -p "$prefix/system.reg" "$work/system.reg"
    detail_level=1
    printf '\n[Software\\\\Quorvane] 1796688000\n"NativeLoggingLevelValue"=dword:00000001\n' \
        >>"$prefix/system.reg"
}

restore_prefix_level() {
    stop_wine
    cp -p "$work/system.reg" "$prefix/system.reg"
    detail_level=
    start_wine
}

dos_path() {
    echo "Z:$(realpath "$1" | tr / '\\')"
}

# One line per record, with what differs by run set to a fixed text: the thread id after the
# function and the time in the trailer. A service's records name the service first, so that the
# records of a service only one side lists stand apart.
log_records() {
    cat "$work/$1.run"/logs/*.LOG | tr -d '\r' |
        sed -E -e 's/^(~[^ ]*\(\): )[0-9A-F]+: /\1<thread>: /' \
            -e 's/<x [A-Za-z?]{3} [0-9]{2} [0-9:.]{12} [0-9]{4}>/<x time>/' |
        awk '/^~EnumerateServices\(\): <thread>: Line: [0-9]+: Found: / {
                 service = $0
                 sub(/.*: Found: /, "", service)
                 sub(/\$\$<.*/, "", service)
                 print
                 next
             }
             /^~addServiceInformationToVector\(\)/ && service != "" {
                 print "[" service "] " $0
                 next
             }
             { service = ""; print }'
}

case $mode in
jvm)
    host=$1 library=$2
    # A running server may save the registry between the two runs (after an earlier test's Wine
    # run, say), which moves HKEY_LOCAL_MACHINE's last-write time, the file's own: stopped, it
    # saves now and then leaves the file alone until both runs are done.
    stop_wine
    run_copy jvm "$host" linux_run --jvm "$library"
    run_copy standin "$host" linux_run "$library"
    start_wine
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
    # Wine's server writes the registry to the prefix's files only as it stops: keys that earlier
    # tests wrote and took away again (and with them their parents' last-write times) reach the
    # layer only then.
    stop_wine
    if [ "$mode" = log ]; then
        set_prefix_level
    fi
    start_wine
    # Both runs read the version resource of the DLL just built, each through its own library.
    export PALLWICK_PRODUCT_DLL
    PALLWICK_PRODUCT_DLL=$(dos_path "$dll")
    run_copy linux "$linux_host" linux_run "$linux_library"
    run_copy wine "$windows_host" wine_run "$(dos_path "$dll")"
    if [ -n "$detail_level" ]; then
        restore_prefix_level
    fi
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
    head -"${DIFF_LINES:-100}" "$work/diff"
    exit 1
fi
echo "host_${mode}_agreement: $left and $right agree on $(wc -l <"$work/$right") lines"
exit $status
