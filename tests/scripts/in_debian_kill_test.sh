#!/bin/sh
# scripts/in-debian.sh ended from outside in the middle of its command, by
# SIGTERM, by Ctrl-C (SIGINT to its process group) and by SIGKILL: it must
# end within 10 s, and none of its processes may be left, and neither may
# its mount namespace, nor any mount of it in the host's view. Usage: tests/scripts/in_debian_kill_test.sh RELEASE
# (the release's system is made first if it is not there yet). Run as root.
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
release=${1:?usage: $0 RELEASE}
root="$here/build/debian/$release/root"
. "$here/tests/scripts/checks.sh"
# The processes whose root is the call's system, by their host ids.
inside() {
    for proc in /proc/[0-9]*; do
        [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] && echo "${proc#/proc/}"
    done
}
mounts_under_build() { awk -v t="$here/build/" 'index($5, t) == 1 {print $5}' /proc/self/mountinfo; }

"$here/scripts/in-debian.sh" "$release" true >/dev/null || check "a first call" "failed"
# Starts the call as a terminal would start a foreground command: in a
# process group of its own, SIGINT at its default (a shell's background
# command would ignore it), so that Ctrl-C can be sent as the terminal sends
# it, to the whole group.
start_call() {
    python3 -c '
import os, signal, sys
signal.signal(signal.SIGINT, signal.SIG_DFL)
os.setpgid(0, 0)
os.execvp(sys.argv[1], sys.argv[1:])' "$here/scripts/in-debian.sh" "$release" sleep 600 >/dev/null 2>&1 &
    script=$!
}
for signal in TERM INT KILL; do
    start_call
    sleeper=""
    for _ in $(seq 600); do
        sleeper=$(inside | head -n 1)
        [ -n "$sleeper" ] && break
        sleep 0.1
    done
    if [ -z "$sleeper" ]; then
        check "SIG$signal: the command started" "not within 60 s"
        kill -KILL "$script"
        continue
    fi
    namespace=$(readlink "/proc/$sleeper/ns/mnt")
    if [ "$signal" = INT ]; then
        kill -INT "-$script"  # Ctrl-C: the whole process group
    else
        kill "-$signal" "$script"
    fi
    for _ in $(seq 100); do
        kill -0 "$script" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$script" 2>/dev/null; then
        check "SIG$signal: the call ends within 10 s" "still running"
        kill -KILL "$script"
    else
        check "SIG$signal: the call ends within 10 s" ok
    fi
    wait "$script" 2>/dev/null
    left=""
    for _ in $(seq 50); do
        left=$(inside)
        [ -z "$left" ] && break
        sleep 0.1
    done
    check "SIG$signal: no process of the call is left" "${left:+left: $left}${left:-ok}"
    users=$(for proc in /proc/[0-9]*; do
        [ "$(readlink "$proc/ns/mnt" 2>/dev/null)" = "$namespace" ] && echo "${proc#/proc/}"
    done)
    check "SIG$signal: its mount namespace is gone" "${users:+still used by $users}${users:-ok}"
    seen=$(mounts_under_build)
    check "SIG$signal: the host sees no mount under build/" "${seen:+$seen}${seen:-ok}"
done
# The next call starts from a clean copy even after a killed one.
"$here/scripts/in-debian.sh" "$release" sh -c 'touch /left-behind'
clean=$("$here/scripts/in-debian.sh" "$release" sh -c '[ -e /left-behind ] && echo dirty || echo ok')
check "a later call starts from a clean copy" "$clean"
checks_done
