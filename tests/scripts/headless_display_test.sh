#!/bin/sh
# scripts/headless.sh must not take a display that another system on this
# machine (a chroot, with a /tmp of its own) already serves: such a server
# leaves no lock file here, only its abstract socket. The test holds that
# socket for the display headless.sh picks first and expects it to pick
# another one, whose X server then runs the command.
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
display_of_run() { "$here/scripts/headless.sh" sh -c 'test -S "/tmp/.X11-unix/X${DISPLAY#:}" && echo "${DISPLAY#:}"'; }

first=$(display_of_run)
[ -n "$first" ] || { echo "FAIL: headless.sh ran no X server"; exit 1; }
ready=$(mktemp)
python3 -c '
import socket, sys, time
held = socket.socket(socket.AF_UNIX)
held.bind("\0/tmp/.X11-unix/X" + sys.argv[1])
held.listen()
open(sys.argv[2], "w").write("held")
time.sleep(120)
' "$first" "$ready" &
holder=$!
while [ ! -s "$ready" ] && kill -0 "$holder" 2>/dev/null; do sleep 0.1; done
second=$(display_of_run)
kill "$holder"
rm -f "$ready"
echo "first free display :$first; with its abstract socket held elsewhere: :${second:-none}"
if [ -z "$second" ] || [ "$second" = "$first" ]; then
    echo "FAIL: headless.sh took a display that another X server serves"
    exit 1
fi
echo "PASS"
