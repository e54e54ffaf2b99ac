#!/bin/sh
# The long reliability runs, one command each (docs/reliability.md has the
# results). The test command, scripts/test.sh, runs the short versions.
#
#   scripts/reliability.sh soak [CLICKS [ROUNDS]]  10,000 clicks, 1,000 rounds
#   scripts/reliability.sh corpus                  the bad-input table
#   scripts/reliability.sh faults                  the fault injection tests
#   scripts/reliability.sh fuzz [RUNS]             1,000,000 joiner runs
#   scripts/reliability.sh sanitizers              native tests, ASan+UBSan
#
# Windows runs go to the Wine shell desktop, headless (Xvfb) without a display.
# They drive the x64 build; ARCH=x86 drives the 32-bit build with its own
# 32-bit test programs instead.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
what=${1:-}
[ $# -gt 0 ] && shift
arch=${ARCH:-x64}
case "$arch" in
x86 | x64) ;;
*)
    echo "ARCH must be x86 or x64, not $arch" >&2
    exit 2
    ;;
esac

build() {
    "$here/scripts/setup.sh"
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j 2 >/dev/null
}

# Runs a Windows test program from the chosen build in the shell desktop, as
# a Wine session that ends the prefix's Wine processes before the display
# goes.
in_desktop() {
    build "windows-$arch"
    bin="$here/build/windows-$arch"
    program="$bin/tests/windows/$1"
    shift
    set -- "$here/scripts/wine-session.sh" --limit 3600 \
        "$here/scripts/wine-run.sh" "$program" "$bin/tastomat.exe" "$@"
    if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
        "$@"
    else
        "$here/scripts/headless.sh" "$@"
    fi
}

case "$what" in
soak)
    in_desktop tastomat_soak.exe --clicks="${1:-10000}" --rounds="${2:-1000}"
    ;;
corpus)
    in_desktop tastomat_e2e.exe --gtest_filter='Corpus.*'
    ;;
faults)
    in_desktop tastomat_e2e.exe --gtest_filter='Faults.*:BareDesktop.RunsTheFakeTaskbarCaseThere'
    ;;
fuzz)
    build native
    fuzz="$here/build/native/tests/fuzz"
    "$fuzz/command_joiner_fuzzer" -runs="${1:-1000000}" -max_len=1024 "$fuzz/corpus"
    ;;
sanitizers)
    build native
    ctest --preset native
    ;;
*)
    sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
