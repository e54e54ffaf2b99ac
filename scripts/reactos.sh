#!/bin/sh
# The ReactOS leg of the tests: the 32-bit exe end to end on ReactOS, a
# second Win32 built like Windows, under QEMU (tests/reactos). Needs the
# 32-bit build (build/windows-x86) and a ReactOS live CD for 32-bit x86:
# TASTOMAT_REACTOS_ISO (an .iso or .iso.xz), else the one beside the
# project in ../shared/reactos. Without one it says so in one line and
# exits 0; with one it installs QEMU and mtools when they are missing,
# prints the leg's checks and ends with the leg's "N passed, N failed".
# Arguments are passed on to tests/reactos/reactos_leg.py (--hide-privat,
# --shots DIR).
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
me=reactos
log="$here/build/setup.log"
. "$here/scripts/steps.sh"

image=${TASTOMAT_REACTOS_ISO:-$here/../shared/reactos/livecd.iso.xz}
if [ ! -f "$image" ]; then
    say "the ReactOS leg did not run: no live CD at $image; set TASTOMAT_REACTOS_ISO to a 32-bit x86 ReactOS live CD (.iso or .iso.xz, from ReactOS's download page)"
    exit 0
fi

need=""
command -v qemu-system-i386 >/dev/null 2>&1 || need="$need qemu-system-x86"
command -v mcopy >/dev/null 2>&1 || need="$need mtools"
if [ -n "$need" ]; then
    say "installing QEMU and mtools for the ReactOS leg with apt-get:$need (apt's output: $log)"
    apt_update
    # shellcheck disable=SC2086 # one word per package
    apt_install $need
fi

x86="$here/build/windows-x86"
say "the 64-bit exe is not run here: this ReactOS is 32-bit and runs no 64-bit program"
# Its own limit, before anything waits for it: the leg takes about two
# minutes, twice that when ReactOS has to be booted once more.
exec timeout 1500 python3 "$here/tests/reactos/reactos_leg.py" "$x86/tastomat.exe" \
    "$x86/tests/reactos/tastomat_reactos_driver.exe" --image "$image" "$@"
