#!/usr/bin/env python3
"""What the screen shows of "Ersatz" and "Standard", read from the X server's
pixels as the user sees them, not from the windows' idea of themselves.

Usage: privat_on_screen.py TASTOMAT_EXE DEMO_EXE [--report] [--shots DIR]

Runs Tastomat in the Wine shell desktop of the display it is given (under
scripts/headless.sh, or a display of your own) and drives it with the demo
driver. Beside the taskbar it shows a PRIVAT of the driver's own, made like
Tastomat's but as a top-level window, which Wine always draws: the picture
PRIVAT should have. Then, in the start button's place on the screen:

- before "Ersatz" the start button's picture;
- after "Ersatz" that reference picture, and not the start button's;
- after "Standard" the start button's picture again.

A Wine that does not draw a window another process put into the taskbar
(Wine 8) leaves the place after "Ersatz" one plain colour: then the check
cannot be made, and the script says so and exits 77 (CTest's skip).
--report prints one line saying what was seen and exits 0 in every case
but a failed run; --shots keeps the three screenshots there.
"""
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run.sh")
SKIP = 77
# Where the reference PRIVAT stands: clear of the dialog and of the taskbar.
REFERENCE_AT = (600, 300)


class Shot:
    """A screenshot of the whole X screen as RGB bytes."""

    def __init__(self, path):
        self.path = path
        ppm = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], check=True,
                             stdout=subprocess.PIPE).stdout
        subprocess.run(["convert", "ppm:-", path], input=ppm, check=True)
        fields, offset = [], 0
        while len(fields) < 4:  # magic, width, height, maximum, then one blank
            while ppm[offset:offset + 1].isspace():
                offset += 1
            end = offset
            while not ppm[end:end + 1].isspace():
                end += 1
            fields.append(ppm[offset:end])
            offset = end
        assert fields[0] == b"P6" and fields[3] == b"255", fields
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = ppm[offset + 1:]

    def region(self, left, top, right, bottom):
        """The pixels of a rectangle, row by row."""
        rows = []
        for y in range(top, bottom):
            start = (y * self.width + left) * 3
            rows.append(self.pixels[start:start + (right - left) * 3])
        return b"".join(rows)


def colours(pixels):
    return {pixels[i:i + 3] for i in range(0, len(pixels), 3)}


def ink(pixels):
    """Which pixels of a region are dark: the caption's strokes and the
    frame's shadow. Wine smooths a caption in the taskbar otherwise than in
    a top-level window, so the pictures are compared by their ink, not by
    their exact colours."""
    return [sum(pixels[i:i + 3]) < 300 for i in range(0, len(pixels), 3)]


def differing_share(a, b):
    """The share of pixels in which the ink of two regions of one size differs."""
    a, b = ink(a), ink(b)
    return sum(x != y for x, y in zip(a, b)) / len(a)


def demo(demo_exe, *step, background=False):
    command = [WINE_RUN, demo_exe, *step]
    if background:
        return subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
    done = subprocess.run(command, stdout=subprocess.PIPE, text=True, timeout=60)
    if done.returncode != 0:
        raise RuntimeError("the demo driver's step failed: " + " ".join(step))
    return done.stdout


def rectangles(text):
    found = {}
    for line in text.splitlines():
        name, *numbers = line.split()
        found[name] = tuple(int(n) for n in numbers)
    return found


def look(tastomat_exe, demo_exe, shots):
    """Runs the scenario; returns (verdict, reason): "seen", "not drawn" or
    "wrong"."""
    workdir = tempfile.mkdtemp(prefix="tastomat-screen-")
    tastomat = subprocess.Popen([WINE_RUN, tastomat_exe], cwd=workdir)
    reference = None
    try:
        demo(demo_exe, "wait")
        start = rectangles(demo(demo_exe, "where"))["start-button"]
        # Made before "Ersatz": Wine's shell lays out its buttons anew for
        # every new top-level window and shows its start button again.
        reference = demo(demo_exe, "reference", *map(str, REFERENCE_AT), background=True)
        if reference.stdout.readline().strip() != "ready":
            raise RuntimeError("the reference PRIVAT did not appear")
        time.sleep(1)
        before = Shot(os.path.join(shots, "standard-before.png"))
        demo(demo_exe, "ersatz")
        time.sleep(1)
        ersatz = Shot(os.path.join(shots, "ersatz.png"))
        privat = rectangles(demo(demo_exe, "where")).get("privat")
        demo(demo_exe, "standard")
        time.sleep(1)
        after = Shot(os.path.join(shots, "standard-after.png"))
        demo(demo_exe, "end-reference")
        demo(demo_exe, "quit")
    finally:
        # What this run started ends with it, also when a step failed.
        for process in (reference, tastomat):
            if process is None:
                continue
            try:
                process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    left, top, right, bottom = start
    if privat != start:
        return "wrong", f"PRIVAT's window {privat} is not at the start button's {start}"
    width, height = right - left, bottom - top
    x, y = REFERENCE_AT
    expected = ersatz.region(x, y, x + width, y + height)
    place = {name: shot.region(*start) for name, shot in
             (("before", before), ("ersatz", ersatz), ("after", after))}
    if len(colours(place["before"])) < 2:
        return "wrong", "the start button is not drawn before \"Ersatz\""
    if len(colours(expected)) < 2:
        return "wrong", "the reference PRIVAT is not drawn"
    if len(colours(place["ersatz"])) == 1:
        return "not drawn", ("this Wine does not draw a button that another process put "
                             "into its taskbar: after \"Ersatz\" the start button's place "
                             "shows one plain colour")
    # Measured on Wine 10: PRIVAT against the reference 2 %, the start
    # button against it 17 %.
    share = differing_share(place["ersatz"], expected)
    if share > 0.06:
        return "wrong", f"after \"Ersatz\" the place differs from PRIVAT's picture in {share:.0%} of its pixels"
    if differing_share(place["ersatz"], place["before"]) < 0.08:
        return "wrong", "after \"Ersatz\" the start button's picture is still there"
    back = differing_share(place["after"], place["before"])
    if back > 0.02:
        return "wrong", f"after \"Standard\" the place differs from the start button's picture in {back:.0%} of its pixels"
    return "seen", (f"PRIVAT is drawn in the start button's place {start} after \"Ersatz\" "
                    f"({share:.0%} of its pixels differ from the reference), the start button "
                    "after \"Standard\"")


def main(argv):
    report = "--report" in argv
    argv = [a for a in argv if a != "--report"]
    shots = None
    if "--shots" in argv:
        at = argv.index("--shots")
        shots = argv[at + 1]
        del argv[at:at + 2]
    if len(argv) != 3:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    shots = shots or tempfile.mkdtemp(prefix="tastomat-shots-")
    os.makedirs(shots, exist_ok=True)
    verdict, reason = look(os.path.abspath(argv[1]), os.path.abspath(argv[2]), shots)
    if report:
        print({"seen": "PRIVAT on the screen: seen; ",
               "not drawn": "PRIVAT on the screen: not seen; ",
               "wrong": "PRIVAT on the screen: wrong; "}[verdict] + reason)
        return 1 if verdict == "wrong" else 0
    if verdict == "seen":
        print("PASS: " + reason)
        return 0
    if verdict == "not drawn":
        print("SKIP: " + reason)
        return SKIP
    print("FAIL: " + reason + f" (screenshots in {shots})")
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
