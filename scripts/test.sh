#!/bin/sh
# Builds every preset and runs every test: the platform-free code on Linux
# under the sanitizers and a fuzz smoke run, the static checks of both exes,
# the Windows tests under Wine in a headless shell desktop, and the exe built
# with a second compiler (clang), which must build without a warning.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
"$here/scripts/setup.sh" || exit 1

log=$(mktemp)
trap 'WINEPREFIX="$here/build/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null; rm -f "$log"' EXIT
status=0
passed=0
failed=0

# Adds one step's counts to the totals.
count() {
    [ "$2" -eq 0 ] || status=1
    passed=$((passed + $1))
    failed=$((failed + $2))
}

# Builds a preset, runs its tests and adds their counts to the totals.
run_preset() {
    preset=$1
    shift
    echo "== $preset"
    if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j 2 >/dev/null; }; then
        cmake --build --preset "$preset" 2>&1 | grep -E "error|Error|warning" | head -20
        echo "$preset: build failed"
        count 0 1
        return
    fi
    "$@" ctest --preset "$preset" 2>&1 | tee "$log"
    summary=$(grep -E "tests passed, [0-9]+ tests? failed out of" "$log" | tail -n 1)
    total=$(echo "$summary" | sed -E 's/.* out of ([0-9]+).*/\1/')
    bad=$(echo "$summary" | sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/')
    if [ -z "$summary" ]; then
        count 0 1
        return
    fi
    count $((total - bad)) "$bad"
}

run_preset native
run_preset windows-x86
run_preset windows-x64 timeout 900 xvfb-run -a -s "-screen 0 1024x768x24"
run_preset windows-x64-clang timeout 300 xvfb-run -a -s "-screen 0 1024x768x24"

echo
echo "all presets: $passed passed, $failed failed"
exit $status
