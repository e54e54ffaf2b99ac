#!/usr/bin/env python3
"""What the screen shows of Tastomat, read from the X server's pixels as the
user sees them, not from the windows' idea of themselves. It is also the
headless run of scripts/run.sh, whose pictures are the ones judged here.

Usage: privat_on_screen.py TASTOMAT_EXE DEMO_EXE [--report] [--hide-privat]
                           [--shots DIR] [--workdir DIR]

Runs Tastomat in the Wine shell desktop of the display it is given (under
scripts/headless.sh, or a display of your own) and steps it with the demo
driver: the dialog; a control in the taskbar; "Ersatz"; the taskbar
painting over PRIVAT and "Ersatz" again; a first click on PRIVAT and its
notice; "Standard"; a confirmed "Beenden". The control is a
push button of the driver's own, made as Tastomat makes PRIVAT and put into
the taskbar away from the start button. It decides whether this Wine draws a
window that another process put into its taskbar (Wine 10 does, Wine 8 does
not), and it is the picture PRIVAT must have. In the start button's place:

- before "Ersatz", the start button's picture;
- after "Ersatz", the control's picture, and not the start button's; so
  too after the taskbar has painted over PRIVAT and "Ersatz" was pressed
  again;
- after "Standard", the start button's picture again.

Each place is read until it shows what it should and has settled, for ten
seconds at most, before it is judged. Where the control is not drawn, only
the start button's part can be judged, and the script says so and exits 77
(CTest's skip). A failure exits 1 and keeps the pictures, whose folder it
names; a pass or a skip removes the folders it made.

--report prints one line, "PRIVAT on the screen: seen|not seen|wrong; …",
and exits 0 unless the verdict is "wrong". --hide-privat hides PRIVAT from
outside after "Ersatz": the check must then say "wrong", and the script
passes only if it does. --shots and --workdir name the folders for the
pictures and for Tastomat's current directory (by default new temporary
ones).
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run.sh")
SKIP = 77
# How long a demo step may take, and a place on the screen to settle. The
# demo driver's own waits add up to less than a minute a step (a few of
# ten seconds each, and two seconds for each window it activates), so
# that a step that did not see its effect says so itself.
STEP_SECONDS = 90
SETTLE_SECONDS = 10
# Ink that two pictures of one button may differ in, and that the start
# button differs from PRIVAT in at least (measured on Wine 10, fonts-wine:
# PRIVAT against the control 0 %, the start button against PRIVAT 20 %).
SAME_BUTTON = 0.03
OTHER_BUTTON = 0.08


class RunFailed(Exception):
    """A step of the run did not get through."""


class Shot:
    """A screenshot as RGB bytes: of the whole X screen, or the picture in
    `ppm` (a binary PPM file's bytes)."""

    def __init__(self, ppm=None):
        if ppm is None:
            ppm = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], check=True,
                                 stdout=subprocess.PIPE, timeout=STEP_SECONDS).stdout
        self.ppm = ppm
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

    def region(self, rect):
        """The pixels of a rectangle (left, top, right, bottom), row by row."""
        left, top, right, bottom = rect
        rows = []
        for y in range(top, bottom):
            start = (y * self.width + left) * 3
            rows.append(self.pixels[start:start + (right - left) * 3])
        return b"".join(rows)

    def save(self, path, crop=None):
        """Saves the picture, or the rectangle `crop` of it, as an image file."""
        cut = []
        if crop:
            left, top, right, bottom = crop
            cut = ["-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage"]
        subprocess.run(["convert", "ppm:-", *cut, path], input=self.ppm, check=True)


def colours(pixels):
    return len({pixels[i:i + 3] for i in range(0, len(pixels), 3)})


def ink(pixels):
    """Which pixels of a region are dark: a caption's strokes and a frame's
    shadow. Pictures are compared by their ink, so that a caption smoothed
    a little otherwise still counts as the same."""
    return [sum(pixels[i:i + 3]) < 300 for i in range(0, len(pixels), 3)]


def differing_share(a, b):
    """The share of pixels in which the ink of two regions of one size differs."""
    a, b = ink(a), ink(b)
    return sum(x != y for x, y in zip(a, b)) / len(a)


def settled(rect, good):
    """Reads the screen until the place `rect` (the whole screen if None)
    shows what `good` accepts and is the same in two reads a moment apart,
    for SETTLE_SECONDS at most. Returns the last shot and whether it did."""
    deadline = time.monotonic() + SETTLE_SECONDS
    previous = None
    while True:
        shot = Shot()
        place = shot.region(rect) if rect else shot.pixels
        if place == previous and good(place):
            return shot, True
        if time.monotonic() > deadline:
            return shot, False
        previous = place
        time.sleep(0.3)


def wine_threads():
    """Every thread of the Wine processes of this system, a line each: the
    process, the thread's name, its state and the kernel function it waits
    in. For a step that hangs: which process holds it, and in what."""
    lines = []
    root = os.readlink("/proc/self/root")
    for pid in sorted(filter(str.isdigit, os.listdir("/proc")), key=int):
        try:
            if os.readlink(f"/proc/{pid}/root") != root:
                continue  # another system's, as a chroot's on its host
            with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
                command = cmdline.read().replace(b"\0", b" ").decode(errors="replace").strip()
            if "wine" not in command and ".exe" not in command:
                continue
            for tid in sorted(os.listdir(f"/proc/{pid}/task"), key=int):
                with open(f"/proc/{pid}/task/{tid}/stat") as stat:
                    head, tail = stat.read().rsplit(")", 1)
                name, state = head.split("(", 1)[1], tail.split()[0]
                with open(f"/proc/{pid}/task/{tid}/wchan") as wchan:
                    waits_in = wchan.read() or "-"
                lines.append(f"  {pid} {command[:60]}: thread {tid} {name} {state} {waits_in}")
        except OSError:
            continue  # ended meanwhile
    return "\n".join(lines) or "  none"


class Demo:
    """The demo driver's steps, each within STEP_SECONDS."""

    def __init__(self, demo_exe):
        self.exe = demo_exe

    def __call__(self, *step):
        # The step's output goes to a file, not a pipe: a process that Wine
        # starts on the step's behalf and that outlives it would hold a pipe
        # open, and the step would seem not to end although it had.
        with tempfile.TemporaryFile("w+") as output:
            process = subprocess.Popen([WINE_RUN, self.exe, *step], stdout=output, text=True)
            try:
                process.wait(timeout=STEP_SECONDS)
            except subprocess.TimeoutExpired:
                threads = wine_threads()
                process.kill()
                process.wait()
                raise RunFailed(f"the demo driver's step \"{' '.join(step)}\" did not end within "
                                f"{STEP_SECONDS} s; Wine's threads then:\n{threads}") from None
            output.seek(0)
            printed = output.read()
        if process.returncode != 0:
            raise RunFailed(f"the demo driver's step \"{' '.join(step)}\" did not see its effect:\n"
                            f"{printed}")
        return printed

    def where(self):
        found = {}
        for line in self("where").splitlines():
            name, *numbers = line.split()
            found[name] = tuple(int(n) for n in numbers)
        return found

    def control(self):
        """Starts the control; returns its process."""
        process = subprocess.Popen([WINE_RUN, self.exe, "control"], stdout=subprocess.PIPE,
                                   text=True)
        start = time.monotonic()
        if process.stdout.readline().strip() != "ready":
            raise RunFailed("the control did not appear")
        if time.monotonic() - start > STEP_SECONDS:
            raise RunFailed(f"the control took more than {STEP_SECONDS} s to appear")
        return process


def run(tastomat_exe, demo, shots, workdir, hide_privat):
    """Runs the scenario, saves its pictures; returns (verdict, reason):
    "seen", "not seen" or "wrong"."""
    tastomat = subprocess.Popen([WINE_RUN, tastomat_exe], cwd=workdir)
    control = None
    try:
        demo("wait")
        start = demo.where()["start-button"]
        dialog, _ = settled(None, lambda place: True)
        dialog.save(os.path.join(shots, "1-dialog.png"))
        before = dialog.region(start)

        control = demo.control()
        placed = demo.where()["control"]
        shown, drawn = settled(placed, lambda place: colours(place) > 1)
        shown.save(os.path.join(shots, "control.png"))
        expected = shown.region(placed)
        demo("end-control")
        control.wait(timeout=STEP_SECONDS)
        control = None

        demo("ersatz")
        privat = demo.where().get("privat")
        if hide_privat:
            demo("hide-privat")
        ersatz, _ = settled(start, lambda place: differing_share(place, expected) <= SAME_BUTTON)
        ersatz.save(os.path.join(shots, "2-ersatz.png"))
        # The taskbar paints over PRIVAT, as a late paint of the shell's does
        # where it does not clip its children; "Ersatz" again brings it back.
        demo("paint-taskbar")
        settled(start, lambda place: colours(place) == 1)
        demo("ersatz")
        again, _ = settled(start, lambda place: differing_share(place, expected) <= SAME_BUTTON)
        again.save(os.path.join(shots, "ersatz-again.png"))

        demo("click")
        notice, _ = settled(None, lambda place: True)
        notice.save(os.path.join(shots, "3-notice.png"))
        demo("close-notice")

        demo("standard")
        after, _ = settled(start, lambda place: differing_share(place, before) <= SAME_BUTTON)
        after.save(os.path.join(shots, "4-standard.png"))
        demo("quit")
        tastomat.wait(timeout=STEP_SECONDS)
    except subprocess.TimeoutExpired as timeout:
        raise RunFailed(f"{' '.join(timeout.cmd)} did not end within {timeout.timeout} s") from None
    finally:
        # What this run started ends with it; the Wine session ends the rest.
        for process in (control, tastomat):
            if process is not None and process.poll() is None:
                process.kill()
                process.wait()

    if colours(before) < 2:
        return "wrong", "the start button is not drawn before \"Ersatz\""
    if privat != start:
        return "wrong", f"PRIVAT's window {privat} is not at the start button's {start}"
    back = differing_share(after.region(start), before)
    if back > SAME_BUTTON:
        return "wrong", (f"after \"Standard\" the place differs from the start button's picture "
                         f"in {back:.0%} of its pixels")
    gone = differing_share(ersatz.region(start), before)
    if not drawn:
        if gone < OTHER_BUTTON:
            return "wrong", "after \"Ersatz\" the start button's picture is still there"
        return "not seen", ("this Wine does not draw a window that another process put into "
                            "its taskbar: the control, a push button of the demo driver's "
                            "there, shows one plain colour (the start button went with "
                            "\"Ersatz\" and came back with \"Standard\")")
    share = differing_share(ersatz.region(start), expected)
    if share > SAME_BUTTON:
        return "wrong", (f"this Wine draws the control, but after \"Ersatz\" the start button's "
                         f"place differs from PRIVAT's picture in {share:.0%} of its pixels")
    if gone < OTHER_BUTTON:
        return "wrong", "after \"Ersatz\" the start button's picture is still there"
    share_again = differing_share(again.region(start), expected)
    if share_again > SAME_BUTTON:
        return "wrong", (f"after the taskbar painted over PRIVAT, \"Ersatz\" again leaves the "
                         f"place differing from PRIVAT's picture in {share_again:.0%} of its pixels")
    return "seen", (f"PRIVAT is drawn in the start button's place {start} after \"Ersatz\" "
                    f"({share:.0%} of its pixels differ from the control's, which shows "
                    f"{colours(expected)} colours), again after the taskbar painted over it, "
                    "and the start button after \"Standard\"")


def option(argv, name):
    """Takes `name VALUE` out of argv; returns VALUE or None."""
    if name not in argv:
        return None
    at = argv.index(name)
    value = argv[at + 1]
    del argv[at:at + 2]
    return value


def main(argv):
    flags = {a for a in argv if a in ("--report", "--hide-privat")}
    argv = [a for a in argv if a not in flags]
    shots, workdir = option(argv, "--shots"), option(argv, "--workdir")
    if len(argv) != 3:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    made = []
    for name, folder in (("shots", shots), ("workdir", workdir)):
        if folder is None:
            folder = tempfile.mkdtemp(prefix=f"tastomat-screen-{name}-")
            made.append(folder)
        os.makedirs(folder, exist_ok=True)
        if name == "shots":
            shots = folder
        else:
            workdir = folder
    try:
        verdict, reason = run(os.path.abspath(argv[1]), Demo(os.path.abspath(argv[2])), shots,
                              workdir, "--hide-privat" in flags)
    except RunFailed as failure:
        verdict, reason = "failed", f"the run did not get through: {failure}"

    if "--report" in flags:
        word = {"seen": "seen", "not seen": "not seen"}.get(verdict, "wrong")
        print(f"PRIVAT on the screen: {word}; {reason}")
        status = 0 if word != "wrong" else 1
    elif "--hide-privat" in flags:
        if verdict == "wrong":
            print(f"PASS: with PRIVAT hidden after \"Ersatz\" the check says wrong: {reason}")
            status = 0
        elif verdict == "not seen":
            print(f"SKIP: {reason}")
            status = SKIP
        else:
            print(f"FAIL: with PRIVAT hidden after \"Ersatz\" the check says {verdict}: {reason}")
            status = 1
    else:
        status = {"seen": 0, "not seen": SKIP}.get(verdict, 1)
        print({0: "PASS: ", SKIP: "SKIP: "}.get(status, "FAIL: ") + reason)
    if status in (0, SKIP):
        for folder in made:
            shutil.rmtree(folder, ignore_errors=True)
    else:
        print(f"Kept: the pictures in {shots}, Tastomat's folder {workdir}", file=sys.stderr)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
