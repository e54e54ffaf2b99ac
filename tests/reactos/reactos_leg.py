#!/usr/bin/env python3
"""Tastomat end to end on ReactOS, a second Win32 built like Windows: its
kernel-mode window manager and its own explorer with the classic taskbar.

Usage: reactos_leg.py TASTOMAT_EXE DRIVER_EXE --image LIVECD [--hide-privat]
                      [--shots DIR] [--workdir DIR]

Boots the 32-bit live CD (LIVECD, an .iso or an .iso.xz) in qemu-system-i386
with a FAT disk that holds the exe and the driver (tests/reactos) and is C:,
Tastomat's writable current directory C:\\WORK among them. It passes the
live CD's two pages with Enter, starts the driver with Win+R, and follows it
on the first serial port, where the system writes what programs hand to
OutputDebugStringA: the driver's checks, and where to take pictures of the
screen (QEMU's screendump), which are judged here:

- PRIVAT is drawn in the start button's place after "Ersatz": its picture is
  that of a push button "PRIVAT" that the driver puts into the taskbar
  elsewhere, and not the start button's; so too after explorer restarted;
- the start button's picture is back after "Standard".

QEMU ends however the run ends. Prints a PASS or FAIL line per check, the
time the boot and the whole leg took and QEMU's peak memory, and last
"N passed, N failed"; exits 1 on any failure. --hide-privat has the driver
hide PRIVAT from outside after "Ersatz", so the screen's check must fail.
--shots keeps the pictures in DIR (the full screens and the taskbar's left
end); --workdir is where the disks and the unpacked image go (by default
build/reactos).
"""
import ctypes
import json
import lzma
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
# The on-screen check's pictures and comparisons, imported from the source
# tree, which stays free of compiled files.
sys.path.insert(0, os.path.join(ROOT, "tests", "screen"))
sys.dont_write_bytecode = True
from privat_on_screen import (  # noqa: E402
    OTHER_BUTTON, SAME_BUTTON, Shot, colours, differing_share, option)

BOOT_SECONDS = 480    # the taskbar comes after about a minute without KVM
DRIVER_SECONDS = 900  # the driver's steps, a minute each at most
MEMORY_MB = 768
# The live CD's own window (its two pages) and the taskbar, on its 800x600
# screen: the pages' lower edge, and the taskbar's grey along the bottom.
PAGE_POINT = (400, 455)
DIALOG_GREY = (212, 208, 200)
GUEST_DIR = "C:\\TASTOMAT"
WORK_DIR = "C:\\WORK"


class LegFailed(Exception):
    """The leg could not go on."""


class SystemStopped(LegFailed):
    """ReactOS itself stopped with a bugcheck: its fault, not the program's."""


BUGCHECK = "*** Fatal System Error"
# The bugcheck line alone does not say what failed. What ReactOS writes
# after it (the rest of the stop's parameters, and whatever else it names)
# comes within a moment of it.
STOP_REPORT_SECONDS = 3
STOP_REPORT_LINES = 24


def stop_report(qemu, lines, at):
    """The bugcheck line lines[at] and the serial port's lines after it, up to
    a few seconds' worth, as one text with the later lines indented: the
    report to keep of a stop."""
    report = lines[at:]
    deadline = time.monotonic() + STOP_REPORT_SECONDS
    while len(report) < STOP_REPORT_LINES and time.monotonic() < deadline:
        time.sleep(0.2)
        report += qemu.lines()
    return "\n    ".join(line.rstrip() for line in report[:STOP_REPORT_LINES] if line.strip())


def unpacked_image(image, workdir):
    """The live CD as an .iso file, unpacked into workdir when it is an .xz."""
    if not image.endswith(".xz"):
        return image
    iso = os.path.join(workdir, os.path.basename(image)[:-3])
    if not os.path.exists(iso) or os.path.getmtime(iso) < os.path.getmtime(image):
        with lzma.open(image) as packed, open(iso + ".part", "wb") as out:
            shutil.copyfileobj(packed, out, 1 << 20)
        os.replace(iso + ".part", iso)
    return iso


def make_disks(workdir, files):
    """A blank first disk, so that the CD boots without asking (its boot
    sector offers to boot a first disk that has a boot signature), and a
    32 MiB disk with one FAT16 partition that ReactOS makes C:, holding
    `files` (guest path: host path) and the empty C:\\WORK."""
    blank = os.path.join(workdir, "blank.img")
    with open(blank, "wb") as out:
        out.truncate(1 << 20)
    disk = os.path.join(workdir, "c.img")
    size, start = 32 << 20, 2048
    mbr = bytearray(512)
    # Active, FAT16 with LBA (0x0E), the CHS fields saying "use LBA".
    mbr[446:462] = struct.pack("<B3sB3sII", 0x80, b"\xfe\xff\xff", 0x0E, b"\xfe\xff\xff", start,
                               size // 512 - start)
    mbr[510:512] = b"\x55\xaa"
    with open(disk, "wb") as out:
        out.write(mbr)
        out.truncate(size)
    volume = f"{disk}@@{start * 512}"
    sectors = size // 512 - start
    subprocess.run(["mformat", "-i", volume, "-T", str(sectors), "-h", "64", "-s", "32",
                    "-H", str(start), "-v", "TASTOMAT", "::"], check=True)
    folders = {WORK_DIR} | {guest.rsplit("\\", 1)[0] for guest in files}
    for folder in sorted(folders):
        subprocess.run(["mmd", "-i", volume, "::" + folder[2:].replace("\\", "/")], check=True)
    for guest, host in files.items():
        subprocess.run(["mcopy", "-i", volume, host, "::" + guest[2:].replace("\\", "/")],
                       check=True)
    return blank, disk


def die_with_parent():
    """In the child before QEMU starts: the kernel ends QEMU when this script
    ends, however it ends (PR_SET_PDEATHSIG)."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)


def stop_on_signal(number, _frame):
    """A time-out's SIGTERM or an interrupt ends the leg through its
    clean-up, which ends QEMU."""
    raise LegFailed(f"the leg was stopped by signal {number}")


class Qemu:
    """The guest, its QMP socket and its first serial port."""

    KEYS = {" ": "spc", "\\": "backslash", ".": "dot", "-": "minus", "/": "slash", ",": "comma"}
    SHIFTED = {":": "semicolon", "_": "minus", '"': "apostrophe"}

    def __init__(self, iso, blank, disk, workdir):
        self.serial = os.path.join(workdir, "serial.log")
        self.qmp_path = os.path.join(workdir, "qmp.sock")
        for path in (self.serial, self.qmp_path):
            if os.path.exists(path):
                os.remove(path)
        # Always emulated: a machine can offer a /dev/kvm on which the guest
        # never boots (seen on a sandboxed host whose processor has no
        # virtualisation of its own), and the leg's times and the input
        # latencies it prints are those of pure emulation everywhere.
        accel = "tcg"
        self.process = subprocess.Popen([
            "qemu-system-i386", "-accel", accel, "-m", str(MEMORY_MB), "-display", "none",
            "-no-reboot", "-serial", f"file:{self.serial}",
            "-qmp", f"unix:{self.qmp_path},server=on,wait=off",
            "-drive", f"file={blank},format=raw,if=ide,index=0",
            "-drive", f"file={disk},format=raw,if=ide,index=1",
            "-drive", f"file={iso},format=raw,if=ide,index=2,media=cdrom,readonly=on",
            "-boot", "d"], stdin=subprocess.DEVNULL, preexec_fn=die_with_parent)
        self.accel = accel
        self.started = time.monotonic()
        self.qmp = None
        for _ in range(100):
            try:
                self.qmp = socket.socket(socket.AF_UNIX)
                self.qmp.connect(self.qmp_path)
                break
            except OSError:
                self.qmp.close()
                self.qmp = None
                if self.process.poll() is not None:
                    raise LegFailed(f"QEMU ended at once (exit status {self.process.returncode})")
                time.sleep(0.1)
        if self.qmp is None:
            raise LegFailed("QEMU's QMP socket did not open")
        self.replies = self.qmp.makefile("rwb")
        self.replies.readline()  # the greeting
        self.command("qmp_capabilities")
        self.offset = 0

    def command(self, name, **arguments):
        self.replies.write(json.dumps({"execute": name, "arguments": arguments}).encode() + b"\n")
        self.replies.flush()
        while True:
            reply = json.loads(self.replies.readline())
            if "error" in reply:
                raise LegFailed(f"QEMU's {name}: {reply['error'].get('desc')}")
            if "return" in reply:
                return reply["return"]

    def keys(self, *names):
        self.command("send-key", keys=[{"type": "qcode", "data": n} for n in names])
        time.sleep(0.15)

    def type(self, text):
        for char in text:
            if char.isascii() and char.isalnum():
                self.keys(*(["shift", char.lower()] if char.isupper() else [char]))
            elif char in self.KEYS:
                self.keys(self.KEYS[char])
            else:
                self.keys("shift", self.SHIFTED[char])

    def screen(self):
        with tempfile.NamedTemporaryFile(suffix=".ppm") as picture:
            self.command("screendump", filename=picture.name)
            return Shot(picture.read())

    def lines(self):
        """The serial port's new complete lines."""
        with open(self.serial, "rb") as port:
            port.seek(self.offset)
            data = port.read()
        end = data.rfind(b"\n") + 1
        self.offset += end
        return data[:end].decode("latin-1").splitlines()

    def peak_memory_mb(self):
        with open(f"/proc/{self.process.pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) // 1024
        return 0

    def end(self):
        if self.process.poll() is None:
            try:
                self.command("quit")
                self.process.wait(timeout=10)
            except (OSError, ValueError, LegFailed, subprocess.TimeoutExpired):
                pass
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        if self.qmp is not None:
            self.qmp.close()


def near(pixel, colour, slack=12):
    return pixel is not None and all(abs(a - b) <= slack for a, b in zip(pixel, colour))


def pixel(shot, point):
    x, y = point
    if x >= shot.width or y >= shot.height:
        return None
    return tuple(shot.region((x, y, x + 1, y + 1)))


def has_taskbar(shot):
    """The taskbar's grey along the screen's bottom, the middle half of it."""
    row = shot.region((shot.width // 4, shot.height - 4, shot.width * 3 // 4, shot.height - 3))
    return all(near(row[i:i + 3], DIALOG_GREY) for i in range(0, len(row), 3))


def boot(qemu):
    """Passes the live CD's two pages with Enter, each once it has settled,
    and waits for explorer's taskbar. Returns the seconds it took."""
    deadline = qemu.started + BOOT_SECONDS
    previous = pressed_on = None
    while time.monotonic() < deadline:
        if qemu.process.poll() is not None:
            raise LegFailed(f"QEMU ended during the boot (exit status {qemu.process.returncode})")
        shot = qemu.screen()
        settled = shot.pixels == previous
        if settled and has_taskbar(shot):
            return time.monotonic() - qemu.started
        if settled and shot.pixels != pressed_on and near(pixel(shot, PAGE_POINT), DIALOG_GREY):
            qemu.keys("ret")
            pressed_on = shot.pixels
        previous = shot.pixels
        time.sleep(2)
    raise LegFailed(f"ReactOS did not reach explorer's taskbar within {BOOT_SECONDS} s")


def start_driver(qemu, options):
    """Win+R, the driver's command line with `options` (words) behind its
    two arguments, Enter; once more if it did not start within a minute (a
    Run box that came late). Returns the lines the driver wrote behind its
    first one."""
    command = " ".join([f"{GUEST_DIR}\\RDRIVER.EXE", f"{GUEST_DIR}\\TASTOMAT.EXE", WORK_DIR,
                        *options])
    for _ in range(2):
        qemu.keys("meta_l", "r")
        time.sleep(5)
        qemu.type(command)
        qemu.keys("ret")
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            lines = qemu.lines()
            for at, line in enumerate(lines):
                if "tastomat: the driver is running" in line:
                    return lines[at + 1:]
            time.sleep(1)
    raise LegFailed("the driver did not start from the Run box")


def follow(qemu, shots_dir, early):
    """Prints the driver's lines and takes its pictures until it is done.
    Returns the driver's checks (passed, failed) and the pictures, by name,
    with the places it named."""
    passed = failed = 0
    pictures = {}
    deadline = time.monotonic() + DRIVER_SECONDS
    while time.monotonic() < deadline:
        if qemu.process.poll() is not None:
            raise LegFailed("QEMU ended while the driver was running")
        lines, early = early + qemu.lines(), []
        for number, line in enumerate(lines):
            if BUGCHECK in line:
                raise SystemStopped(
                    f"ReactOS stopped with a bugcheck: {stop_report(qemu, lines, number)}")
            at = line.find("tastomat: ")
            if at < 0:
                continue
            said = line[at + len("tastomat: "):].rstrip()
            if said.startswith("SHOT "):
                name, *places = said.split()[1:]
                shot = qemu.screen()
                rects = [tuple(int(n) for n in place.split(",")) for place in places]
                pictures[name] = (shot, rects)
                if shots_dir:
                    save(shot, rects, os.path.join(shots_dir, name))
            elif said.startswith("DONE"):
                return passed, failed, pictures
            else:
                print(said if said.startswith(("PASS: ", "FAIL: ")) else f"  ({said})")
                passed += said.startswith("PASS: ")
                failed += said.startswith("FAIL: ")
        time.sleep(0.2)
    raise LegFailed(f"the driver did not finish within {DRIVER_SECONDS} s")


def save(shot, rects, base):
    shot.save(base + ".png")
    bar = rects[-1] if len(rects) > 1 else None
    if bar:
        left, top, right, bottom = bar
        shot.save(base + "-taskbar.png", (left, top, left + (right - left) // 3, bottom))


def judge_screen(pictures):
    """The checks of what the screen showed: (passed, failed)."""
    results = []

    def check(good, what):
        print(("PASS: " if good else "FAIL: ") + what)
        results.append(good)

    try:
        standard, (start, *_) = pictures["taskbar-standard"]
        ersatz, (privat, control, _) = pictures["taskbar-ersatz"]
    except (KeyError, ValueError):
        check(False, "the screen: the driver took no pictures before and after \"Ersatz\"")
        return 0, 1
    before = standard.region(start)
    expected = ersatz.region(control)
    shown = ersatz.region(privat)
    check(colours(before) > 1, "the screen: the start button is drawn before \"Ersatz\"")
    check(colours(expected) > 1, "the screen: the driver's own button \"PRIVAT\" in the taskbar "
          "is drawn (ReactOS draws another process's child)")
    like_control = differing_share(shown, expected) if len(shown) == len(expected) else 1.0
    like_start = differing_share(shown, before)
    check(colours(shown) > 1 and like_control <= SAME_BUTTON and like_start >= OTHER_BUTTON,
          f"the screen: after \"Ersatz\" PRIVAT is drawn in the start button's place "
          f"({like_control:.0%} of its pixels differ from the driver's PRIVAT, {like_start:.0%} "
          f"from the start button, {colours(shown)} colours)")
    if "taskbar-restarted" in pictures:
        restarted, (place, *_) = pictures["taskbar-restarted"]
        again = restarted.region(place)
        share = differing_share(again, expected) if len(again) == len(expected) else 1.0
        check(colours(again) > 1 and share <= SAME_BUTTON,
              f"the screen: after explorer restarted PRIVAT is drawn over the new start button "
              f"({share:.0%} of its pixels differ from the driver's PRIVAT)")
    else:
        check(False, "the screen: no picture after explorer restarted")
    if "taskbar-standard-again" in pictures:
        after, (place, *_) = pictures["taskbar-standard-again"]
        back = after.region(place)
        share = differing_share(back, before) if len(back) == len(before) else 1.0
        check(share <= SAME_BUTTON, f"the screen: \"Standard\" shows the start button's picture "
              f"again ({share:.0%} of its pixels differ from before \"Ersatz\")")
    else:
        check(False, "the screen: no picture after \"Standard\"")
    return sum(results), len(results) - sum(results)


def main(argv):
    hide_privat = "--hide-privat" in argv
    argv = [a for a in argv if a != "--hide-privat"]
    image, shots_dir = option(argv, "--image"), option(argv, "--shots")
    workdir = option(argv, "--workdir") or os.path.join(ROOT, "build", "reactos")
    if len(argv) != 3 or image is None:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    for number in (signal.SIGTERM, signal.SIGINT):
        signal.signal(number, stop_on_signal)
    os.makedirs(workdir, exist_ok=True)
    if shots_dir:
        os.makedirs(shots_dir, exist_ok=True)
    started = time.monotonic()
    for attempt in (1, 2):
        passed, failed, stopped = run_once(argv, image, workdir, shots_dir, hide_privat)
        if not stopped or attempt == 2:
            break
        # Seen once in about ten runs, in explorer's end by taskkill: the
        # leg boots anew once rather than fail the program for it.
        print("ReactOS stopped with a bugcheck; booting it once more")
    print(f"The ReactOS leg took {time.monotonic() - started:.0f} s")
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


def run_once(argv, image, workdir, shots_dir, hide_privat):
    """One boot and one run of the driver: (passed, failed, whether ReactOS
    stopped with a bugcheck)."""
    passed = failed = 0
    stopped = False
    qemu = None
    try:
        iso = unpacked_image(os.path.abspath(image), workdir)
        blank, disk = make_disks(workdir, {f"{GUEST_DIR}\\TASTOMAT.EXE": argv[1],
                                           f"{GUEST_DIR}\\RDRIVER.EXE": argv[2]})
        qemu = Qemu(iso, blank, disk, workdir)
        booted = boot(qemu)
        print(f"ReactOS reached explorer's taskbar after {booted:.0f} s ({qemu.accel})")
        early = start_driver(qemu, ["--hide-privat"] if hide_privat else [])
        passed, failed, pictures = follow(qemu, shots_dir, early)
        on_screen = judge_screen(pictures)
        passed, failed = passed + on_screen[0], failed + on_screen[1]
        print(f"QEMU's peak memory: {qemu.peak_memory_mb()} MB")
    except LegFailed as failure:
        print(f"FAIL: {failure}")
        failed += 1
        stopped = isinstance(failure, SystemStopped)
        if qemu is not None:
            print(f"The serial port's output: {qemu.serial}", file=sys.stderr)
    finally:
        if qemu is not None:
            qemu.end()
    return passed, failed, stopped


if __name__ == "__main__":
    sys.exit(main(sys.argv))
