#!/usr/bin/env python3
"""Checks of the release zip, built twice from the same sources.

Usage: check_package.py --source-dir DIR first.zip second.zip

The two zips were built in two different build directories. They must be
byte for byte the same; each must be named tastomat-<version>-windows.zip and
hold exactly tastomat-<version>/ LIESMICH.TXT, README.TXT, LICENSE.TXT,
x64/tastomat.exe and x86/tastomat.exe. Each .TXT must open readably in the
Notepad of old Windows: CR LF after every line and nothing but CR LF, no
UTF-8 byte order mark, only bytes that code page 1252 defines, no line over
78 characters; read back as code page 1252 with LF line ends it must be its
source in the tree, character for character. Each exe must be for its
architecture, at most 16 KiB, carry <version> in its version record and no time stamp; all
entries must share one time and pass their CRC check.
Prints a PASS/FAIL line per check and "N passed, N failed"; exits 1 on any
failure.
"""
import argparse
import codecs
import itertools
import os
import re
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pe"))
import check_pe  # noqa: E402

ZIP_NAME = re.compile(r"tastomat-(\d+(?:\.\d+){0,3})-windows\.zip")
MACHINES = {"x64": 0x8664, "x86": 0x14C}
# Each text entry and its source in the tree (UTF-8, LF line ends).
TEXTS = {
    "LIESMICH.TXT": "docs/release/LIESMICH.txt",
    "README.TXT": "docs/release/README.txt",
    "LICENSE.TXT": "LICENSE",
}
MAX_LINE = 78
# What each shipped exe may weigh, with either Debian release's GCC.
MAX_EXE_BYTES = 16384
# The five byte values to which code page 1252 gives no character.
CP1252_UNDEFINED = frozenset((0x81, 0x8D, 0x8F, 0x90, 0x9D))


def expected_names(version):
    top = f"tastomat-{version}/"
    return sorted([top + name for name in TEXTS] + [f"{top}{arch}/tastomat.exe" for arch in MACHINES])


def check_text(name, data, source_dir, source):
    """The checks of one text entry, given its bytes and its source."""
    lone_cr = data.count(b"\r") - data.count(b"\r\n")
    lone_lf = data.count(b"\n") - data.count(b"\r\n")
    problems = [f"{count} lone {end}" for end, count in (("CR", lone_cr), ("LF", lone_lf)) if count]
    yield f"{name}: CR LF line ends", problems + ([] if data.endswith(b"\r\n") else ["no CR LF at the end"])

    problems = ["starts with a UTF-8 byte order mark"] if data.startswith(codecs.BOM_UTF8) else []
    problems += [f"undefined byte {byte:#04x}" for byte in sorted(set(data) & CP1252_UNDEFINED)]
    yield f"{name}: only bytes of code page 1252", problems

    text = data.decode("cp1252", errors="replace").replace("\r\n", "\n")
    lines = text.split("\n")
    yield f"{name}: lines of at most {MAX_LINE} characters", [
        f"line {number} has {len(line)}" for number, line in enumerate(lines, 1) if len(line) > MAX_LINE]

    try:
        with open(os.path.join(source_dir, source), encoding="utf-8", newline="") as f:
            expected = f.read().split("\n")
    except (OSError, UnicodeDecodeError) as e:
        yield f"{name}: {source} is readable", [str(e)]
        return
    differing = [number for number, (got, want) in enumerate(itertools.zip_longest(lines, expected), 1)
                 if got != want]
    yield f"{name} is {source} in code page 1252", [f"differs from line {differing[0]} on"] if differing else []


def check_reproducible(first, second):
    with open(first, "rb") as a, open(second, "rb") as b:
        same = a.read() == b.read()
    yield "the two builds' zips are byte for byte the same", [] if same else [f"{first} and {second} differ"]
    if same:
        return
    with zipfile.ZipFile(first) as a, zipfile.ZipFile(second) as b:
        for name in sorted(set(a.namelist()) | set(b.namelist())):
            if name not in a.namelist() or name not in b.namelist():
                yield f"{name} in both zips", ["missing in one"]
            else:
                yield f"{name} the same in both zips", [] if a.read(name) == b.read(name) else ["contents differ"]


def check_contents(path, source_dir):
    match = ZIP_NAME.fullmatch(os.path.basename(path))
    yield "zip named tastomat-<version>-windows.zip", [] if match else [f"named {os.path.basename(path)}"]
    if not match:
        return
    version = match.group(1)
    top = f"tastomat-{version}/"
    with zipfile.ZipFile(path) as archive:
        infos = archive.infolist()
        yield "entries", check_pe.diff("entries", sorted(i.filename for i in infos), expected_names(version))
        bad = archive.testzip()
        yield "CRCs", [f"{bad} is damaged"] if bad else []
        times = sorted({i.date_time for i in infos})
        yield "one time for all entries", [] if len(times) == 1 else [f"times {times}"]
        names = archive.namelist()
        for name, source in TEXTS.items():
            if top + name in names:
                yield from check_text(name, archive.read(top + name), source_dir, source)
        for arch, machine in MACHINES.items():
            name = f"{top}{arch}/tastomat.exe"
            if name not in names:
                continue
            size = archive.getinfo(name).file_size
            yield f"{name}: at most {MAX_EXE_BYTES} bytes", (
                [] if size <= MAX_EXE_BYTES else [f"{size} bytes"])
            try:
                pe = check_pe.PE(archive.read(name))
                yield f"{name} is for {arch}", check_pe.diff("machine", pe.machine, machine, hex)
                for check in (check_pe.check_version(pe, version), check_pe.check_timestamps(pe)):
                    for label, problems in check:
                        yield f"{name}: {label}", problems
            except check_pe.PARSE_ERRORS as e:
                yield f"{name} is a readable PE file", [str(e)]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("first")
    parser.add_argument("second")
    args = parser.parse_args(argv)
    results = [(f"{os.path.basename(args.first)}: {label}", problems)
               for label, problems in check_contents(args.first, args.source_dir)]
    results += check_reproducible(args.first, args.second)
    return check_pe.report(results)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
