#!/usr/bin/env python3
"""Write a zip archive whose bytes depend only on the files put into it.

Usage: make_zip.py --epoch SECONDS [--text NAME=PATH ...] out.zip [NAME=PATH ...]

Each NAME is an entry's path inside the archive, PATH the file it holds. A
NAME=PATH given plainly goes in byte for byte. One given with --text is a
text kept as UTF-8 with LF line ends; it goes in the way Notepad before
Windows 10 reads a text: in code page 1252, every line ended by CR LF. A text
with a character that code page 1252 cannot hold, with a CR, with bytes that
are not UTF-8 or without a line end after its last line is refused with a
message naming the place: nothing is written and the exit status is 1, for a
replaced or guessed character would reach the user unseen.

The entries are written sorted by name, all with the time SECONDS (a Unix
time, UTC; times before 1980 become 1980-01-01, the earliest a zip can hold),
as plain files made on MS-DOS/Windows, deflated at level 9. Nothing else of
the files (their times, owners or permissions) goes into the archive.
"""
import argparse
import sys
import time
import zipfile

ZIP_EPOCH = (1980, 1, 1, 0, 0, 0)
TEXT_ENCODING = "cp1252"


class TextError(Exception):
    pass


def zip_time(epoch):
    return max(ZIP_EPOCH, tuple(time.gmtime(epoch)[:6]))


def entry(argument):
    name, sep, path = argument.partition("=")
    if not sep or not name or not path:
        raise argparse.ArgumentTypeError(f"{argument!r} is not NAME=PATH")
    return name, path


def windows_text(path, data):
    """Returns the UTF-8, LF-ended text data in code page 1252 with CR LF."""
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as e:
        raise TextError(f"{path}: byte {e.start} is not UTF-8") from e
    lines = text.split("\n")
    if lines.pop() != "":
        raise TextError(f"{path}: the last line has no line end")
    out = []
    for number, line in enumerate(lines, 1):
        if "\r" in line:
            raise TextError(f"{path}:{number}: a CR; keep the text with LF line ends")
        try:
            out.append(line.encode(TEXT_ENCODING) + b"\r\n")
        except UnicodeEncodeError as e:
            char = line[e.start]
            raise TextError(f"{path}:{number}:{e.start + 1}: {char!r} (U+{ord(char):04X}) "
                            f"is not in code page 1252") from e
    return b"".join(out)


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


def read_entries(files, texts):
    """Returns (name, bytes) for every entry, the texts converted."""
    return ([(name, read_file(path)) for name, path in files] +
            [(name, windows_text(path, read_file(path))) for name, path in texts])


def write_zip(out, contents, date_time):
    with zipfile.ZipFile(out, "w") as archive:
        for name, data in sorted(contents):
            info = zipfile.ZipInfo(name, date_time)
            info.create_system = 0
            info.external_attr = 0
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    parser.add_argument("--epoch", type=int, required=True, help="the entries' time, in seconds since 1970 (UTC)")
    parser.add_argument("--text", type=entry, action="append", default=[], metavar="NAME=PATH",
                        help="a UTF-8 text with LF line ends, put in as code page 1252 with CR LF")
    parser.add_argument("out")
    parser.add_argument("entries", nargs="*", type=entry, metavar="NAME=PATH")
    args = parser.parse_args(argv)
    names = [name for name, _ in args.entries + args.text]
    if not names:
        parser.error("no entries")
    if len(set(names)) != len(names):
        parser.error("an entry name is given twice")
    # Every text is converted before the archive is opened, so a refused one
    # leaves no zip behind.
    try:
        contents = read_entries(args.entries, args.text)
    except (OSError, TextError) as e:
        print(f"{parser.prog}: error: {e}", file=sys.stderr)
        return 1
    write_zip(args.out, contents, zip_time(args.epoch))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
