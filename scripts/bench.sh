#!/bin/sh
# Runs every benchmark and prints the table of docs/performance.md: each
# figure of Tastomat against its baseline, measured in the same run, with
# the ratio, the goal and whether it is met. The Wine benchmarks run in the
# project's Wine prefix, headless under Xvfb when there is no display; do
# not run scripts/test.sh at the same time, it uses the same prefix.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
"$here/scripts/setup.sh" || exit 1

echo "== building"
if ! { cmake --preset windows-x64 >/dev/null &&
       cmake --build --preset windows-x64 -j 2 --target tastomat baseline_dialog baseline_dialog_bare bench_noop \
           startup_bench memory_bench click_bench tastomat_demo >/dev/null &&
       cmake --preset native >/dev/null &&
       cmake --build --preset native -j 2 --target join_bench >/dev/null; }; then
    echo "bench: build failed"
    exit 1
fi

out="$here/build/bench"
work="$out/work"
rm -rf "$work"
mkdir -p "$work"
log="$out/last-run.txt"
: >"$log"
status=0

# Runs a benchmark with its output on the screen and in the log. One that
# does not run through (a missed goal is not that) fails the script.
bench() {
    { "$@" 2>&1; echo $? >"$out/status"; } | tee -a "$log"
    [ "$(cat "$out/status")" = 0 ] || { echo "bench: $1 did not run through"; status=1; }
}

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at start" | tee -a "$log"

win="$here/build/windows-x64"
echo "== size"
bench python3 "$here/bench/size_bench.py" "$win/tastomat.exe" "$win/bench/baseline_dialog.exe" \
    "$win/bench/baseline_dialog_bare.exe"
echo "== join"
bench "$here/build/native/bench/join_bench"

# Windows paths of files here: Wine shows the Unix root as drive Z:.
winpath() { printf 'Z:%s' "$1"; }
tastomat=$(winpath "$win/tastomat.exe")
baseline=$(winpath "$win/bench/baseline_dialog.exe")
noop=$(winpath "$win/bench/bench_noop.exe")
workdir=$(winpath "$work")
cat >"$out/wine.sh" <<WINE
wine="$here/scripts/wine-run.sh"
status=0
echo "== start-up"
"\$wine" "$win/bench/startup_bench.exe" '$tastomat' '$baseline' '$workdir' || status=1
echo "== memory"
"\$wine" "$win/bench/memory_bench.exe" '$tastomat' '$baseline' '$workdir' || status=1
echo "== click"
"\$wine" "$win/bench/click_bench.exe" '$tastomat' '$noop' '$workdir' || status=1
echo "== idle"
python3 "$here/bench/idle_bench.py" "$win/tastomat.exe" "$win/tools/tastomat_demo.exe" || status=1
exit \$status
WINE
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    bench "$here/scripts/wine-session.sh" sh "$out/wine.sh"
else
    bench "$here/scripts/headless.sh" "$here/scripts/wine-session.sh" --limit 900 sh "$out/wine.sh"
fi

echo "machine: load average $(cut -d' ' -f1-3 /proc/loadavg) at end" | tee -a "$log"
echo
echo "| figure | baseline | Tastomat | ratio | goal | result |"
echo "|---|---|---|---|---|---|"
grep '^| ' "$log"
echo
echo "(full output: $log)"
exit $status
