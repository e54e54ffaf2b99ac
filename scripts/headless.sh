#!/bin/sh
# Runs a command under a new headless X server (Xvfb, 1024x768, 24-bit) on a
# display that no other X server of this machine has, in this system or in
# another one sharing its kernel (a chroot): xvfb-run's own choice (-a) looks
# only at the lock files in this system's /tmp, while X clients connect to a
# display's abstract socket first, which every system on the machine shares.
# Usage: scripts/headless.sh COMMAND [ARGUMENT...]
set -eu
taken() {
    [ -e "/tmp/.X$1-lock" ] || grep -q " @/tmp/.X11-unix/X$1\$" /proc/net/unix 2>/dev/null
}
display=99
while taken "$display"; do display=$((display + 1)); done
exec xvfb-run -n "$display" -s "-screen 0 1024x768x24" "$@"
