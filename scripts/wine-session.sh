#!/bin/sh
# Runs a command that starts Windows programs in the project's Wine prefix
# as a session of its own: when it starts, no Wine process that an earlier
# session left (a test killed in the middle, say) runs in the prefix any
# more; when it ends, however it ends (done, failed, out of time, Ctrl-C,
# SIGTERM), every Wine process of the prefix ends too, Wine's server
# included. One session a prefix at a time: a second one waits.
#
# Usage: scripts/wine-session.sh [--limit SECONDS] COMMAND [ARGUMENT...]
#
# The exit status is the command's, 124 when it was still running after the
# limit. TASTOMAT_WINEPREFIX names another prefix, as for wine-run.sh.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
prefix="${TASTOMAT_WINEPREFIX:-$here/build/wineprefix}"
limit=0
if [ "${1:-}" = --limit ]; then
    limit=$2
    shift 2
fi
[ $# -ge 1 ] || {
    echo "usage: $0 [--limit SECONDS] COMMAND [ARGUMENT...]" >&2
    exit 2
}
say() { echo "wine-session: $*" >&2; }

# Wine's processes in this prefix: its server and every Windows program,
# each run by a Wine loader (or, for 32-bit ones on a kernel that does not
# run them, by QEMU) with the prefix in its environment, in this system (a
# chroot's processes are in the host's /proc too, under another root).
root=$(readlink /proc/self/root)
prefix_processes() {
    for proc in /proc/[0-9]*; do
        case "$(readlink "$proc/exe" 2>/dev/null)" in
        */wine | */wine64 | */wine*-preloader | */wineserver | */wineserver32 | */wineserver64 | */qemu-i386*) ;;
        *) continue ;;
        esac
        [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] || continue
        tr '\0' '\n' 2>/dev/null <"$proc/environ" | grep -qxF "WINEPREFIX=$prefix" && echo "${proc#/proc/}"
    done
}
names() {
    for pid in "$@"; do
        # The program's name, also behind QEMU and the loader it runs.
        name=$(tr '\0' '\n' 2>/dev/null <"/proc/$pid/cmdline" | sed '/qemu-i386/{N;N;s/.*\n//;}' | head -n 1)
        printf ' %s (%s)' "${name##*[\\/]}" "$pid"
    done
}
# Ends the prefix's server and with it every program it knows; then whatever
# is left, such as a program that lost its server.
end_prefix() {
    WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null
    for _ in $(seq 50); do
        left=$(prefix_processes)
        [ -n "$left" ] || return 0
        # shellcheck disable=SC2086 # one word per process id
        kill -KILL $left 2>/dev/null
        sleep 0.1
    done
    # shellcheck disable=SC2086 # one word per process id
    say "could not end$(names $left)"
}

mkdir -p "$(dirname "$prefix")"
exec 8>"$prefix.lock"
flock -w 900 8 || {
    say "another session has held $prefix for 15 minutes; giving up"
    exit 1
}
left=$(prefix_processes)
if [ -n "$left" ]; then
    # shellcheck disable=SC2086 # one word per process id
    say "ending what an earlier session left running in the prefix:$(names $left)"
    end_prefix
fi

trap end_prefix EXIT
# The command runs in the background, so that a signal reaches this shell at
# once; it keeps this shell's input, and not the lock.
exec 3<&0
if [ "$limit" -gt 0 ]; then
    timeout --kill-after=5 "$limit" "$@" <&3 3<&- 8>&- &
else
    "$@" <&3 3<&- 8>&- &
fi
command=$!
trap 'kill -TERM "$command" 2>/dev/null; exit 130' INT
trap 'kill -TERM "$command" 2>/dev/null; exit 143' TERM
trap 'kill -TERM "$command" 2>/dev/null; exit 129' HUP
wait "$command"
status=$?
[ "$status" -ne 124 ] || [ "$limit" -eq 0 ] || say "$1 was still running after $limit s: ended, with every Wine process of the prefix"
exit $status
