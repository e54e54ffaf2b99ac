#!/bin/sh
# Builds Tastomat and runs it in a Wine desktop with a shell taskbar. With a
# display it opens there for you. Without one it runs headless: it presses
# "Ersatz", clicks "PRIVAT" once (which creates Rufknopf.ini and shows the
# first-run notice), quits with a confirmed "Beenden", saves screenshots and
# says whether PRIVAT could be seen on the screen.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
cd "$here"
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 -j 2 --target tastomat tastomat_demo >/dev/null
exe="$here/build/windows-x64/tastomat.exe"
wine="$here/scripts/wine-run.sh"
# Tastomat keeps its command file in its current directory.
workdir="$here/build/run"
mkdir -p "$workdir"
cd "$workdir"

if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    echo "Tastomat runs in a Wine desktop window; its command file is $workdir/Rufknopf.ini"
    exec "$wine" "$exe"
fi

shots="$here/build/screenshots"
mkdir -p "$shots"
rm -f "$workdir/Rufknopf.ini"
demo="$here/build/windows-x64/tools/tastomat_demo.exe"
cat >"$workdir/demo.sh" <<DEMO
set -e
"$wine" "$exe" &
tastomat=\$!
"$wine" "$demo" wait
sleep 1
import -window root "$shots/1-dialog.png"
"$wine" "$demo" ersatz
sleep 0.5
import -window root "$shots/2-ersatz.png"
"$wine" "$demo" click
sleep 0.5
import -window root "$shots/3-notice.png"
"$wine" "$demo" close-notice
"$wine" "$demo" quit
# Tastomat has ended once its dialog is gone; Wine's launcher for it may
# take a while longer to return (once seen on a new Wine 10 prefix), and the
# wineserver -k below ends it in any case.
for _ in \$(seq 100); do kill -0 \$tastomat 2>/dev/null || break; sleep 0.2; done
# Whether this Wine draws PRIVAT, told from the screen's pixels.
python3 "$here/tests/screen/privat_on_screen.py" --report "$exe" "$demo" >"$workdir/on-screen.txt"
WINEPREFIX="$here/build/wineprefix" /usr/lib/wine/wineserver -k
DEMO
timeout 300 "$here/scripts/headless.sh" sh "$workdir/demo.sh"
printf 'Rufknopf.ini created by the click:%s\n' "$(od -An -tx1 "$workdir/Rufknopf.ini")"
echo "Screenshots: $shots/1-dialog.png $shots/2-ersatz.png $shots/3-notice.png"
cat "$workdir/on-screen.txt"
