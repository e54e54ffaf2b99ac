#!/usr/bin/env python3
"""Write a zip archive whose bytes depend only on the files put into it.

Usage: make_zip.py --epoch SECONDS out.zip NAME=PATH [NAME=PATH ...]

Each NAME is an entry's path inside the archive, PATH the file it holds. The
entries are written sorted by name, all with the time SECONDS (a Unix time,
UTC; times before 1980 become 1980-01-01, the earliest a zip can hold), as
plain files made on MS-DOS/Windows, deflated at level 9. Nothing else of the
files (their times, owners or permissions) goes into the archive.
"""
import argparse
import sys
import time
import zipfile

ZIP_EPOCH = (1980, 1, 1, 0, 0, 0)


def zip_time(epoch):
    return max(ZIP_EPOCH, tuple(time.gmtime(epoch)[:6]))


def entry(argument):
    name, sep, path = argument.partition("=")
    if not sep or not name or not path:
        raise argparse.ArgumentTypeError(f"{argument!r} is not NAME=PATH")
    return name, path


def write_zip(out, entries, date_time):
    with zipfile.ZipFile(out, "w") as archive:
        for name, path in sorted(entries):
            info = zipfile.ZipInfo(name, date_time)
            info.create_system = 0
            info.external_attr = 0
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    parser.add_argument("--epoch", type=int, required=True, help="the entries' time, in seconds since 1970 (UTC)")
    parser.add_argument("out")
    parser.add_argument("entries", nargs="+", type=entry, metavar="NAME=PATH")
    args = parser.parse_args(argv)
    names = [name for name, _ in args.entries]
    if len(set(names)) != len(names):
        parser.error("an entry name is given twice")
    write_zip(args.out, args.entries, zip_time(args.epoch))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
