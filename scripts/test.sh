#!/bin/sh
# Builds every preset and runs every test: the platform-free code on Linux
# under the sanitizers and a fuzz smoke run; for the 32-bit and the 64-bit
# exe each the static checks and the Windows tests under Wine in a headless
# shell desktop; the exe built with a second compiler (clang), which must
# build without a warning; the 32-bit exe end to end on ReactOS under QEMU
# (scripts/reactos.sh); the release zip, built twice in two directories to
# show it is reproducible; and the lint: clang-format and clang-tidy.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
"$here/scripts/setup.sh" || exit 1

log=$(mktemp)
trap 'WINEPREFIX="$here/build/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null; rm -f "$log"' EXIT
status=0
passed=0
failed=0
skipped=0

# Adds one step's counts to the totals: passed, failed and skipped.
count() {
    [ "$2" -eq 0 ] || status=1
    passed=$((passed + $1))
    failed=$((failed + $2))
    skipped=$((skipped + ${3:-0}))
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
    # A test that found it cannot check here says why and is not a pass.
    skips=$(grep -c -E "^[[:space:]]*[0-9]+ - .* \(Skipped\)$" "$log")
    # CTest shows no output of a skipped test; its reason is in the test's log.
    [ "$skips" -eq 0 ] || grep -h "^SKIP: " "build/$preset/Testing/Temporary/LastTest.log"
    count $((total - bad - skips)) "$bad" "$skips"
}

# Runs a check program that prints PASS/FAIL lines and ends with the line
# "N passed, N failed", shows its output and sets `checks` to that line; its
# exit status is the check's.
run_check() {
    "$@" >"$log" 2>&1
    result=$?
    cat "$log"
    checks=$(grep -E "^[0-9]+ passed, [0-9]+ failed$" "$log" | tail -n 1)
    [ -n "$checks" ] && [ "${checks#* passed, }" = "0 failed" ] && return $result
    return 1
}

# The release zip from two build directories: the same bytes, the right files.
check_package() {
    first=$("$here/scripts/package.sh" build | tail -n 1) &&
        second=$("$here/scripts/package.sh" build/repro | tail -n 1) &&
        python3 tests/package/check_package.py --source-dir "$here" "$first" "$second"
}

run_preset native
run_preset windows-x86 timeout 1200 "$here/scripts/headless.sh"
run_preset windows-x64 timeout 900 "$here/scripts/headless.sh"
run_preset windows-x64-clang timeout 300 "$here/scripts/headless.sh"
# The 32-bit exe end to end on ReactOS under QEMU, where a live CD is at
# hand: one more test case, however many checks it takes. Without one the
# leg says in one line that it did not run, and counts for nothing.
echo "== reactos"
if run_check "$here/scripts/reactos.sh" --shots "$here/build/reactos/shots"; then
    count 1 0
elif [ -n "$checks" ] || ! grep -q "the ReactOS leg did not run" "$log"; then
    count 0 1
fi
# The release zip is one more test case, however many checks it takes.
echo "== package"
if run_check check_package; then count 1 0; else count 0 1; fi

# The lint's file checks are not tests: they get a line of their own.
echo "== lint"
if run_check python3 scripts/lint.py; then
    lint="lint: ${checks%% passed*} file checks clean"
else
    status=1
    lint="lint: ${checks:-no result, 1 failed}"
fi

echo
echo "$lint"
echo "the CTest tests of all presets and the release zip:"
if [ "$skipped" -eq 0 ]; then
    echo "tests: $passed passed, $failed failed"
else
    echo "tests: $passed passed, $failed failed, $skipped skipped"
fi
exit $status
