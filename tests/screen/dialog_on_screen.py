#!/usr/bin/env python3
"""Whether Wine lays out Tastomat's dialog in Windows' metrics, read from the
X server's pixels as the user sees them, not from the window's idea of
itself.

Usage: dialog_on_screen.py TASTOMAT_EXE DEMO_EXE

Runs Tastomat in the Wine shell desktop of the display it is given (under
scripts/headless.sh, or a display of your own), takes a picture of the
screen once the dialog has settled, and checks two things on it:

- the dialog's right edge: the template (res/tastomat.rc) places and sizes
  the dialog in dialog units of its font, 8-point "MS Sans Serif", whose
  horizontal unit on a 96-DPI screen is a quarter of 6 pixels, and its
  modal frame adds 3 pixels on each side. In a stand-in font the dialog
  comes out wider.
- a cross in the close box: Wine draws the caption buttons' glyphs with the
  Marlett font, whose glyph for the close box is a cross; without Marlett
  the close box shows the letter "r".

Exits 0 when both hold, 1 otherwise; on a failure it keeps the picture and
names it.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
from collections import Counter

# The on-screen check's module is imported from the source tree, which stays
# free of compiled files.
sys.dont_write_bytecode = True
from privat_on_screen import STEP_SECONDS, WINE_RUN, Demo, RunFailed, settled

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TEMPLATE = os.path.join(ROOT, "res", "tastomat.rc")
# 8-point MS Sans Serif at 96 DPI: 6 pixels wide on average, so 4 dialog
# units are 6 pixels across; Windows rounds each conversion (MulDiv).
PIXELS_PER_4_UNITS = 6
MODAL_FRAME = 3
# The edge may be off by a pixel where Wine rounds otherwise; a stand-in
# font moves it by tens of pixels.
EDGE_SLACK = 2
# How far into the dialog from its top right corner the close box lies.
CLOSE_BOX_REACH = 40


def expected_right_edge():
    """The x just right of the dialog, as Windows places it: from the
    template's left and width in dialog units."""
    with open(TEMPLATE, encoding="utf-8") as template:
        found = re.search(r"^IDD_MAIN\s+DIALOG\s+(\d+)\s*,\s*\d+\s*,\s*(\d+)\s*,", template.read(),
                          re.MULTILINE)
    if not found:
        raise RunFailed(f"no IDD_MAIN DIALOG line in {TEMPLATE}")
    left, width = int(found.group(1)), int(found.group(2))
    client_left = (left * PIXELS_PER_4_UNITS + 2) // 4
    client_width = (width * PIXELS_PER_4_UNITS + 2) // 4
    return client_left + client_width + MODAL_FRAME


def pixel(shot, x, y):
    start = (y * shot.width + x) * 3
    return shot.pixels[start:start + 3]


def dialog_box(shot):
    """The dialog's rectangle (left, top, right, bottom): all that differs
    from the desktop's colour (the screen's commonest) in the upper half of
    the screen, where the template puts the dialog and the taskbar is not."""
    desktop = Counter(shot.pixels[i:i + 3] for i in range(0, len(shot.pixels), 3 * 17))
    background = desktop.most_common(1)[0][0]
    xs, ys = [], []
    for y in range(shot.height // 2):
        row = shot.region((0, y, shot.width, y + 1))
        for x in range(shot.width):
            if row[x * 3:x * 3 + 3] != background:
                xs.append(x)
                ys.append(y)
    if not xs:
        raise RunFailed("no dialog on the screen: the upper half shows only the desktop")
    return min(xs), min(ys), max(xs) + 1, max(ys) + 1


def dark(colour):
    """Darker than mid-grey: a glyph's strokes and their smoothed edges."""
    return sum(colour) < 3 * 128


def close_box_glyph(shot, box):
    """The dark pixels inside the close box, as (x, y) points, and the
    rectangle of the box's face. The close box is the button at the
    caption's right end; its face has the colour of the dialog's own face
    (both are the button face colour), and its frame keeps the face apart
    from the rest of the dialog: the face is all the pixels of that colour
    reachable from one inside it."""
    left, top, right, bottom = box
    face = pixel(shot, left + 4 * MODAL_FRAME, bottom - 2 * MODAL_FRAME)
    reach = (max(left, right - CLOSE_BOX_REACH), top + MODAL_FRAME, right - MODAL_FRAME,
             min(bottom, top + CLOSE_BOX_REACH))

    def inside(x, y):
        return reach[0] <= x < reach[2] and reach[1] <= y < reach[3]

    # The face's pixels reachable from the first one found on the column a
    # little left of the caption's right end, from the top down.
    column = right - 4 * MODAL_FRAME
    start = next(((column, y) for y in range(reach[1], reach[3])
                  if pixel(shot, column, y) == face), None)
    if start is None:
        raise RunFailed("no close box: no pixel of the button face colour at the right end "
                        "of the caption")
    seen, todo = {start}, [start]
    while todo:
        x, y = todo.pop()
        for near in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
            if near not in seen and inside(*near) and pixel(shot, *near) == face:
                seen.add(near)
                todo.append(near)
    x0, x1 = min(x for x, _ in seen), max(x for x, _ in seen)
    y0, y1 = min(y for _, y in seen), max(y for _, y in seen)
    return [(x, y) for y in range(y0, y1 + 1) for x in range(x0, x1 + 1)
            if dark(pixel(shot, x, y))], (x0, y0, x1 + 1, y1 + 1)


def is_cross(points):
    """Whether the points draw a cross: they lie along the two diagonals of
    their bounding box, and each diagonal is drawn from end to end. A letter
    such as "r" has its stem off the diagonals and leaves them half empty."""
    if not points:
        return False, "the close box shows no glyph"
    xs, ys = [x for x, _ in points], [y for _, y in points]
    x0, y0, x1, y1 = min(xs), min(ys), max(xs), max(ys)
    width, height = x1 - x0, y1 - y0
    if width < 4 or height < 4:
        return False, f"its glyph is only {width + 1}x{height + 1} pixels"
    ink = set(points)

    def off_diagonals(x, y):
        u, v = (x - x0) / width, (y - y0) / height
        return min(abs(u - v) * width, abs(u + v - 1) * width)

    along = sum(off_diagonals(x, y) <= 1.5 for x, y in points) / len(points)
    drawn = []
    for diagonal in (lambda t: (x0 + t * width, y0 + t * height),
                     lambda t: (x1 - t * width, y0 + t * height)):
        steps = max(width, height)
        hits = 0
        for step in range(steps + 1):
            x, y = diagonal(step / steps)
            hits += any((round(x) + dx, round(y) + dy) in ink
                        for dx in (-1, 0, 1) for dy in (-1, 0, 1))
        drawn.append(hits / (steps + 1))
    what = (f"its {width + 1}x{height + 1}-pixel glyph has {along:.0%} of its pixels on "
            f"the diagonals, which it draws to {drawn[0]:.0%} and {drawn[1]:.0%}")
    return along >= 0.9 and min(drawn) >= 0.9, what


def check(shot):
    """Returns (passed, reason)."""
    box = dialog_box(shot)
    left, _, right, _ = box
    expected = expected_right_edge()
    edge_ok = abs(right - expected) <= EDGE_SLACK
    edge = (f"the dialog spans x = {left} to {right - 1}, its right edge at x = {right} "
            f"({'as' if edge_ok else 'not as'} Windows lays it out in 8-point MS Sans Serif: "
            f"{expected})")
    glyph, face = close_box_glyph(shot, box)
    cross, what = is_cross(glyph)
    close = (f"the close box at {face} shows {'a cross' if cross else 'no cross'}: {what}")
    return edge_ok and cross, f"{edge}; {close}"


def main(argv):
    if len(argv) != 3:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    tastomat_exe, demo = os.path.abspath(argv[1]), Demo(os.path.abspath(argv[2]))
    workdir = tempfile.mkdtemp(prefix="tastomat-dialog-")
    tastomat = subprocess.Popen([WINE_RUN, tastomat_exe], cwd=workdir)
    shot = None
    try:
        demo("wait")
        shot, _ = settled(None, lambda place: True)
        passed, reason = check(shot)
        demo("quit")
        tastomat.wait(timeout=STEP_SECONDS)
    except RunFailed as failure:
        passed, reason = False, f"the run did not get through: {failure}"
    except subprocess.TimeoutExpired as timeout:
        passed, reason = False, f"{' '.join(timeout.cmd)} did not end within {timeout.timeout} s"
    finally:
        # What this run started ends with it; the Wine session ends the rest.
        if tastomat.poll() is None:
            tastomat.kill()
            tastomat.wait()
    print(("PASS: " if passed else "FAIL: ") + reason)
    if passed:
        shutil.rmtree(workdir, ignore_errors=True)
        return 0
    if shot is not None:
        picture = os.path.join(workdir, "dialog.png")
        shot.save(picture)
        print(f"Kept: the picture {picture}", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
