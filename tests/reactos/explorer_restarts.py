#!/usr/bin/env python3
"""How often ReactOS stops with a bugcheck when explorer is ended and
started again, with Tastomat and without it.

Usage: explorer_restarts.py TASTOMAT_EXE DRIVER_EXE --image LIVECD
                            [--workdir DIR] [--rounds SETTING=N ...]

Boots the live CD as the ReactOS leg does (tests/reactos/reactos_leg.py)
and has the driver (reactos_driver.cpp, --restarts) end explorer with
taskkill /f and start a new one, round after round, in four settings:

- bare: without Tastomat (20 rounds);
- ersatz: Tastomat running with "Ersatz" in force, PRIVAT back in each new
  taskbar (20 rounds);
- standard: "Standard" pressed before each restart, "Ersatz" again after
  it (10 rounds);
- beenden: Tastomat started, "Ersatz", then "Beenden" with OK before each
  restart (10 rounds).

All of it in one boot while ReactOS holds. A bugcheck (ReactOS's "***
Fatal System Error" on the serial port) ends that boot; it is counted for
the setting and the round it came in, the bugcheck line and what the
serial port says after it are kept, and the script boots ReactOS anew for
the rounds that are left. Prints a line per round and, last, a table of
the counts.
Takes about half an hour without KVM; it is not part of the test command.
Exits 1 if a round could not be run at all.
"""
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True
from reactos_leg import (  # noqa: E402
    BUGCHECK, GUEST_DIR, LegFailed, Qemu, boot, make_disks, option, start_driver, stop_report,
    unpacked_image)

SETTINGS = {"bare": 20, "ersatz": 20, "standard": 10, "beenden": 10}
# A round takes a quarter of a minute at most without KVM; a hang of the
# system (no line for that long) counts as a failed boot, not a bugcheck.
ROUND_SECONDS = 180


def run_plan(argv, image, workdir, rounds, counts):
    """All the rounds of all the settings, in one boot while ReactOS holds
    and in a new boot for what is left after each bugcheck."""
    done = {name: 0 for name in rounds}
    for boot_number in range(1, sum(rounds.values()) + 2):
        left = [(name, rounds[name] - done[name]) for name in rounds if done[name] < rounds[name]]
        if not left:
            return boot_number - 1
        iso = unpacked_image(os.path.abspath(image), workdir)
        blank, disk = make_disks(workdir, {f"{GUEST_DIR}\\TASTOMAT.EXE": argv[1],
                                           f"{GUEST_DIR}\\RDRIVER.EXE": argv[2]})
        qemu = Qemu(iso, blank, disk, workdir)
        try:
            boot(qemu)
            plan = ",".join(f"{name}:{number}" for name, number in left)
            lines = start_driver(qemu, ["--restarts", plan])
            current = left[0][0]
            deadline = time.monotonic() + ROUND_SECONDS
            stopped = finished = False
            while not stopped and not finished:
                if time.monotonic() > deadline:
                    raise LegFailed(f"{current}: round {done[current] + 1} did not end within "
                                    f"{ROUND_SECONDS} s")
                for number, line in enumerate(lines):
                    if BUGCHECK in line:
                        done[current] += 1
                        report = stop_report(qemu, lines, number)
                        counts[current]["bugchecks"].append((done[current], report))
                        print(f"{current} round {done[current]}: BUGCHECK {report}", flush=True)
                        stopped = True
                        break
                    at = line.find("tastomat: ")
                    said = line[at + len("tastomat: "):].split() if at >= 0 else []
                    if said[:1] == ["SETTING"]:
                        current = said[1]
                    elif said[:1] == ["RESTART"]:
                        done[current] += 1
                        counts[current]["problems"] += said[3] != "ok"
                        print(f"{current} round {done[current]}: {said[3]}", flush=True)
                        deadline = time.monotonic() + ROUND_SECONDS
                    elif said[:1] == ["DONE"]:
                        finished = True
                    elif said[:1] in (["FAIL:"], ["NOTE:"]):
                        print(" ".join(said), flush=True)
                lines = [] if stopped or finished else qemu.lines()
                time.sleep(0.5)
        finally:
            qemu.end()
    raise LegFailed("more boots than rounds")


def main(argv):
    image = option(argv, "--image")
    workdir = option(argv, "--workdir") or os.path.join(os.path.dirname(os.path.dirname(HERE)),
                                                        "build", "reactos-restarts")
    rounds = dict(SETTINGS)
    while "--rounds" in argv:
        at = argv.index("--rounds")
        name, _, number = argv[at + 1].partition("=")
        rounds[name] = int(number)
        del argv[at:at + 2]
    if len(argv) != 3 or image is None or not set(rounds) <= set(SETTINGS):
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    os.makedirs(workdir, exist_ok=True)
    rounds = {name: number for name, number in rounds.items() if number > 0}
    counts = {name: {"bugchecks": [], "problems": 0} for name in rounds}
    started = time.monotonic()
    status = 0
    boots = 0
    try:
        boots = run_plan(argv, image, workdir, rounds, counts)
    except LegFailed as failure:
        print(f"FAIL: {failure}", flush=True)
        status = 1
    print(f"\nexplorer restarts on ReactOS, {time.monotonic() - started:.0f} s and {boots} "
          f"boots in all:")
    print("| setting | rounds | bugchecks | rounds where something did not come back |")
    print("|---|---:|---:|---:|")
    for setting, number in rounds.items():
        got = counts[setting]
        print(f"| {setting} | {number} | {len(got['bugchecks'])} | {got['problems']} |")
    for setting in rounds:
        for number, line in counts[setting]["bugchecks"]:
            print(f"{setting}, round {number}: {line}")
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
