#!/usr/bin/env python3
"""Checks of the release zip, built twice from the same sources.

Usage: check_package.py --source-dir DIR first.zip second.zip

The two zips were built in two different build directories. They must be
byte for byte the same; each must be named tastomat-<version>-windows.zip and
hold exactly tastomat-<version>/ LICENSE, README.md, x64/tastomat.exe and
x86/tastomat.exe. LICENSE and README.md must be those of the source tree;
each exe must be for its architecture, carry <version> in its version record
and no time stamp; all entries must share one time and pass their CRC check.
Prints a PASS/FAIL line per check and "N passed, N failed"; exits 1 on any
failure.
"""
import argparse
import os
import re
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pe"))
import check_pe  # noqa: E402

ZIP_NAME = re.compile(r"tastomat-(\d+(?:\.\d+){0,3})-windows\.zip")
MACHINES = {"x64": 0x8664, "x86": 0x14C}
DOCUMENTS = ("LICENSE", "README.md")


def expected_names(version):
    top = f"tastomat-{version}/"
    return sorted([top + name for name in DOCUMENTS] + [f"{top}{arch}/tastomat.exe" for arch in MACHINES])


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
        for name in DOCUMENTS:
            if top + name not in names:
                continue
            with open(os.path.join(source_dir, name), "rb") as f:
                same = archive.read(top + name) == f.read()
            yield f"{name} is the source tree's", [] if same else ["contents differ"]
        for arch, machine in MACHINES.items():
            name = f"{top}{arch}/tastomat.exe"
            if name not in names:
                continue
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
