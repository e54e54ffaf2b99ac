#!/bin/sh
# Makes the pictures in docs/screenshots anew from the headless run of
# scripts/run.sh: the dialog, the left end of the taskbar before and after
# "Ersatz" (twice the size) and the first-run notice. They are meant to be
# made on Debian 13, whose Wine draws PRIVAT in the taskbar:
#     scripts/in-debian.sh trixie scripts/screenshots.sh
# leaves them in build/debian/trixie/layer/upper/root/tastomat/docs/screenshots.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
env -u DISPLAY "$here/scripts/run.sh"
shots="$here/build/screenshots"
out="$here/docs/screenshots"
taskbar_end="320x24+0+744"
convert "$shots/1-dialog.png" PNG8:"$out/dialog.png"
convert "$shots/3-notice.png" PNG8:"$out/first-click-notice.png"
convert "$shots/1-dialog.png" -crop "$taskbar_end" +repage -scale 200% PNG8:"$out/taskbar-standard.png"
convert "$shots/2-ersatz.png" -crop "$taskbar_end" +repage -scale 200% PNG8:"$out/taskbar-ersatz.png"
echo "Pictures: $out/dialog.png $out/taskbar-standard.png $out/taskbar-ersatz.png $out/first-click-notice.png"
