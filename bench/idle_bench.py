#!/usr/bin/env python3
"""What Tastomat costs while nobody uses it: its CPU time and its wake-ups
over a stretch of idle time with "Ersatz" in force, under Wine.

Usage: idle_bench.py TASTOMAT_EXE DEMO_EXE [--seconds N]

Run inside a Wine session with a shell desktop (scripts/bench.sh does it).
Starts Tastomat in a folder of its own, presses "Ersatz" with the demo
driver (tools/demo_driver.cpp), moves the pointer to the bare desktop,
waits a few seconds for everything to settle, then reads, from Linux's own
accounting (/proc), the CPU time that Tastomat's process and the Wine
server spent over N seconds (60 by default) and how often Tastomat's
threads were woken. Then the same with the pointer resting on PRIVAT,
where Tastomat wakes more often for a click to come. Ends Tastomat with
"Beenden". Prints one table row per figure, as the other benchmarks do;
exits 1 if it could not measure.
"""
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run.sh")
SETTLE_SECONDS = 5


def demo(exe, step):
    subprocess.run([WINE_RUN, exe, step], check=True, timeout=60, stdout=subprocess.DEVNULL)


def processes_named(word):
    """The ids of the processes whose command line names `word`."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as cmdline:
                arguments = cmdline.read().split(b"\0")
        except OSError:
            continue
        if any(word.encode() in argument.lower() for argument in arguments[:2]):
            found.append(int(entry))
    return found


def usage(pid):
    """(CPU nanoseconds, voluntary context switches) of all the process's
    threads so far."""
    cpu = switches = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/schedstat") as stat:
            cpu += int(stat.read().split()[0])
        with open(f"/proc/{pid}/task/{task}/status") as status:
            for line in status:
                if line.startswith("voluntary_ctxt_switches:"):
                    switches += int(line.split()[1])
    return cpu, switches


def main(argv):
    seconds = 60
    if "--seconds" in argv:
        at = argv.index("--seconds")
        seconds = int(argv[at + 1])
        del argv[at:at + 2]
    if len(argv) != 3:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    tastomat_exe, demo_exe = argv[1], argv[2]
    name = os.path.basename(tastomat_exe)
    with tempfile.TemporaryDirectory() as workdir:
        tastomat = subprocess.Popen([WINE_RUN, tastomat_exe], cwd=workdir)
        try:
            demo(demo_exe, "wait")
            demo(demo_exe, "ersatz")
            ours = [p for p in processes_named("tastomat.exe") if p != os.getpid()]
            servers = processes_named("wineserver")
            if len(ours) != 1 or len(servers) != 1:
                print(f"idle: expected one Tastomat and one Wine server, found {ours} and "
                      f"{servers}", file=sys.stderr)
                return 1
            for pointer, where in (("point-away", "elsewhere"), ("point-privat", "on PRIVAT")):
                demo(demo_exe, pointer)
                time.sleep(SETTLE_SECONDS)
                before, server_before = usage(ours[0]), usage(servers[0])
                time.sleep(seconds)
                after, server_after = usage(ours[0]), usage(servers[0])
                report(name, seconds, where, after, before, server_after, server_before)
        finally:
            try:
                demo(demo_exe, "quit")
            except (subprocess.CalledProcessError, subprocess.TimeoutExpired):
                tastomat.kill()
            tastomat.wait(timeout=60)
    return 0


def report(name, seconds, where, after, before, server_after, server_before):
    cpu_ms = (after[0] - before[0]) / 1e6
    server_ms = (server_after[0] - server_before[0]) / 1e6
    wakes = (after[1] - before[1]) / seconds
    share = cpu_ms / (seconds * 1000)
    print(f"idle over {seconds} s with \"Ersatz\" in force and the pointer {where}, {name}:")
    goal = "| < 0.05 % of a core | " + ("met" if share < 0.0005 else "missed") if where == "elsewhere" \
        else "| | "
    print(f"| idle, pointer {where}: Tastomat's CPU time | | {cpu_ms:.1f} ms ({share:.4%} of a core) | "
          f"{goal} |")
    print(f"| idle, pointer {where}: the Wine server's CPU time meanwhile | | {server_ms:.1f} ms | | | |")
    print(f"| idle, pointer {where}: Tastomat's threads woken | | {wakes:.1f} a second | | | |")


if __name__ == "__main__":
    sys.exit(main(sys.argv))
