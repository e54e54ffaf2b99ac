#!/bin/sh
# Builds Tastomat and runs it in a Wine desktop with a shell taskbar. With a
# display it opens there for you. Without one it runs headless: it presses
# "Ersatz", clicks "PRIVAT" once (which creates Rufknopf.ini and shows the
# first-run notice), presses "Standard", quits with a confirmed "Beenden",
# saves screenshots and says whether PRIVAT could be seen on them.
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

session="$here/scripts/wine-session.sh"
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    echo "Tastomat runs in a Wine desktop window; its command file is $workdir/Rufknopf.ini"
    exec "$session" "$wine" "$exe"
fi

# Headless, the on-screen check runs the program: its pictures are the
# screenshots, and its verdict is judged on them.
shots="$here/build/screenshots"
rm -rf "$shots"
mkdir -p "$shots"
rm -f "$workdir/Rufknopf.ini"
status=0
"$here/scripts/headless.sh" "$session" --limit 240 python3 "$here/tests/screen/privat_on_screen.py" \
    --report --shots "$shots" --workdir "$workdir" "$exe" \
    "$here/build/windows-x64/tools/tastomat_demo.exe" >"$workdir/on-screen.txt" || status=$?
if [ -f "$workdir/Rufknopf.ini" ]; then
    printf 'Rufknopf.ini created by the click:%s\n' "$(od -An -tx1 "$workdir/Rufknopf.ini")"
else
    echo "Rufknopf.ini was not created"
fi
echo "Screenshots: $shots/1-dialog.png $shots/2-ersatz.png $shots/3-notice.png $shots/4-standard.png"
cat "$workdir/on-screen.txt"
exit $status
