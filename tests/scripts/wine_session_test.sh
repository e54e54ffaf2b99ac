#!/bin/sh
# scripts/wine-session.sh, the frame of every Wine test, when a test ends
# badly: its driver killed in the middle, the session itself killed as
# CTest's time-out kills a test, a command that hangs past its limit. After
# each, no Wine process may be left in the prefix, or the next test must end
# what was left and pass.
# Usage: tests/scripts/wine_session_test.sh E2E_DRIVER_EXE TASTOMAT_EXE
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
driver=${1:?usage: $0 E2E_DRIVER_EXE TASTOMAT_EXE}
tastomat=${2:?usage: $0 E2E_DRIVER_EXE TASTOMAT_EXE}
prefix="${TASTOMAT_WINEPREFIX:-$here/build/wineprefix}"
session="$here/scripts/wine-session.sh"
wine="$here/scripts/wine-run.sh"
. "$here/tests/scripts/checks.sh"
# Every process of this system with the prefix in its environment, whatever
# runs it: more than the session looks for, so that it cannot miss its own.
root=$(readlink /proc/self/root)
in_prefix() {
    for proc in /proc/[0-9]*; do
        [ "$proc" = "/proc/$$" ] && continue
        [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] || continue
        tr '\0' '\n' 2>/dev/null <"$proc/environ" | grep -qxF "WINEPREFIX=$prefix" &&
            tr '\0' ' ' 2>/dev/null <"$proc/cmdline" && echo "(${proc#/proc/})"
    done
}
# The process id of the running Windows program named $1: the first word of
# its command line, or the third under QEMU ("qemu-i386 WINE-LOADER PROGRAM").
program() {
    for proc in /proc/[0-9]*; do
        tr '\0' '\n' 2>/dev/null <"$proc/environ" | grep -qxF "WINEPREFIX=$prefix" || continue
        name=$(tr '\0' '\n' 2>/dev/null <"$proc/cmdline" | sed '/qemu-i386/{N;N;s/.*\n//;}' | head -n 1)
        [ "${name##*[\\/]}" = "$1" ] && echo "${proc#/proc/}" && return
    done
}
await_program() {
    for _ in $(seq 300); do
        found=$(program "$1")
        [ -n "$found" ] && echo "$found" && return
        sleep 0.1
    done
}
# Whether process $1 ends within $2 seconds.
ends_within() {
    for _ in $(seq $(($2 * 10))); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}
one_test="$wine $driver $tastomat --gtest_filter=MainDialog.*"
# The same, long enough to be killed in the middle.
long_test="$one_test --gtest_repeat=50"
[ -z "$(in_prefix)" ] || check "the prefix is clear before the first case" "$(in_prefix)"

# The driver killed while Tastomat runs: the session ends, and with it
# every Wine process of the prefix.
# shellcheck disable=SC2086 # the command's words
"$session" $long_test >/dev/null 2>&1 &
frame=$!
killed=$(await_program tastomat_e2e.exe)
await_program tastomat.exe >/dev/null
if [ -z "$killed" ]; then
    check "a killed driver: the test started" "no tastomat_e2e.exe within 30 s"
    kill -TERM "$frame"
else
    kill -KILL "$killed"
    ends_within "$frame" 15 && check "a killed driver: the session ends within 15 s" ok ||
        check "a killed driver: the session ends within 15 s" "still running"
    left=$(in_prefix)
    check "a killed driver: no Wine process is left" "${left:+left: $left}${left:-ok}"
fi
wait "$frame" 2>/dev/null

# The session killed with SIGKILL, as CTest ends a test that ran out of
# time: its Wine processes stay, and the next test ends them and passes.
# shellcheck disable=SC2086 # the command's words
"$session" $long_test >/dev/null 2>&1 &
frame=$!
await_program tastomat.exe >/dev/null
kill -KILL "$frame"
wait "$frame" 2>/dev/null
sleep 1
left=$(in_prefix)
[ -n "$left" ] && check "a killed session leaves Wine processes behind (what the next test must handle)" ok ||
    check "a killed session leaves Wine processes behind (what the next test must handle)" "none were left"
# shellcheck disable=SC2086 # the command's words
next=$("$session" $one_test 2>&1)
status=$?
[ "$status" -eq 0 ] && check "after a killed session the next test passes" ok ||
    check "after a killed session the next test passes" \
        "exit $status: $(echo "$next" | tr -d '\r' | grep -A 12 ": Failure$") $(echo "$next" | tail -n 5)"
echo "$next" | grep -q "^wine-session: ending what an earlier session left running in the prefix: " &&
    check "it says which processes it ended first" ok ||
    check "it says which processes it ended first" "no such line"
left=$(in_prefix)
check "after the next test no Wine process is left" "${left:+left: $left}${left:-ok}"

# A command that hangs: Tastomat waits for "Beenden", which never comes.
started=$(date +%s)
out=$("$session" --limit 5 "$wine" "$tastomat" 2>&1)
status=$?
took=$(($(date +%s) - started))
[ "$status" -eq 124 ] && [ "$took" -le 20 ] &&
    check "a command past its limit fails with 124 within 20 s" ok ||
    check "a command past its limit fails with 124 within 20 s" "exit $status after $took s"
echo "$out" | grep -q "was still running after 5 s" && check "it says that the command ran out of time" ok ||
    check "it says that the command ran out of time" "no such line: $out"
left=$(in_prefix)
check "after a command past its limit no Wine process is left" "${left:+left: $left}${left:-ok}"

checks_done
