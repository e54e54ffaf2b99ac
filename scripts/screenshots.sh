#!/bin/sh
# Makes the pictures in docs/screenshots anew: the dialog, the left end of
# the taskbar before and after "Ersatz" (twice the size) and the first-run
# notice; from ReactOS also the whole screen after "Ersatz".
#
#     scripts/screenshots.sh
#
# takes them from the headless run of scripts/run.sh under Wine. They are
# meant to be made on Debian 13, whose Wine draws PRIVAT in the taskbar:
#     scripts/in-debian.sh trixie scripts/screenshots.sh
# leaves them in build/debian/trixie/layer/upper/root/tastomat/docs/screenshots.
#
#     scripts/screenshots.sh reactos
#
# takes them, named reactos-*.png, from the ReactOS leg's run under QEMU
# (scripts/reactos.sh), which needs the 32-bit build and a live CD.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
out="$here/docs/screenshots"
if [ "${1:-}" = reactos ]; then
    shots="$here/build/reactos/shots"
    "$here/scripts/reactos.sh" --shots "$shots"
    # The whole screens keep their colours: ReactOS's caption gradients
    # would band in 256.
    cp "$shots/dialog.png" "$out/reactos-dialog.png"
    cp "$shots/ersatz.png" "$out/reactos-ersatz.png"
    cp "$shots/notice.png" "$out/reactos-first-click-notice.png"
    convert "$shots/taskbar-standard-taskbar.png" -scale 200% PNG8:"$out/reactos-taskbar-standard.png"
    convert "$shots/ersatz-taskbar.png" -scale 200% PNG8:"$out/reactos-taskbar-ersatz.png"
    echo "Pictures: $out/reactos-*.png"
    exit 0
fi
env -u DISPLAY "$here/scripts/run.sh"
shots="$here/build/screenshots"
taskbar_end="320x24+0+744"
convert "$shots/1-dialog.png" PNG8:"$out/dialog.png"
convert "$shots/3-notice.png" PNG8:"$out/first-click-notice.png"
convert "$shots/1-dialog.png" -crop "$taskbar_end" +repage -scale 200% PNG8:"$out/taskbar-standard.png"
convert "$shots/2-ersatz.png" -crop "$taskbar_end" +repage -scale 200% PNG8:"$out/taskbar-ersatz.png"
echo "Pictures: $out/dialog.png $out/taskbar-standard.png $out/taskbar-ersatz.png $out/first-click-notice.png"
