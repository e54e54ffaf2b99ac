#!/usr/bin/env python3
"""Size of the release exe against the minimal dialog program.

Usage: size_bench.py tastomat.exe baseline_dialog.exe baseline_dialog_bare.exe

The baselines are the same minimal dialog program, linked with the C
runtime (as a program usually is) and without it (as tastomat.exe is: the
floor). All three are compiled with the same options
(cmake/small_exe.cmake). Prints where the bytes are (file bytes per
section, the resources, the imported functions), then the table rows. The
figure that matters is the bytes outside the resources, which the files
carry in different amounts (tastomat.exe: icon group, version record,
manifest, dialog; the baselines: a dialog). Exits 1 if a file cannot be read
as a PE file.
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "pe"))
from check_pe import ALLOWED_DLLS, PARSE_ERRORS, PE, PE32_PLUS, imports  # noqa: E402

GOAL_RATIO = 1.5  # whole file against the baseline with the C runtime
GOAL_BYTES = 16 * 1024  # whole file
GOAL_CODE_RATIO = 0.6  # bytes outside the resources against the same baseline
RESOURCES = ".rsrc"


def section_sizes(data):
    """{section name: bytes it takes in the file}."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, = struct.unpack_from("<H", data, pe + 6)
    opt_size, = struct.unpack_from("<H", data, pe + 20)
    table = pe + 24 + opt_size
    sizes = {"(headers)": struct.unpack_from("<I", data, pe + 24 + 60)[0]}  # SizeOfHeaders
    for i in range(count):
        name, raw_size = struct.unpack_from("<8s8xI", data, table + 40 * i)[0:2]
        sizes[name.rstrip(b"\0").decode("ascii")] = raw_size
    return sizes


def resource_bytes(pe):
    try:
        tree = pe.resources
    except PARSE_ERRORS:
        return 0
    return sum(len(blob) for names in tree.values() for langs in names.values() for blob in langs.values())


def describe(path):
    with open(path, "rb") as f:
        data = f.read()
    pe = PE(data)
    table = imports(pe)
    sections = section_sizes(data)
    return {"bytes": len(data), "sections": sections, "resources": resource_bytes(pe),
            "outside": len(data) - sections.get(RESOURCES, 0),
            "dlls": [dll for dll, _ in table], "functions": sum(len(names) for _, names in table),
            "arch": "x64" if pe.magic == PE32_PLUS else "x86"}


def kib(n):
    return f"{n / 1024:.1f} KiB"


def verdict(met):
    return "met" if met else "missed"


def main(args):
    if len(args) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    try:
        ours, base, bare = (describe(path) for path in args)
    except (OSError, *PARSE_ERRORS) as e:
        print(f"size_bench: {e}", file=sys.stderr)
        return 1
    files = (("baseline", base), ("bare", bare), ("tastomat", ours))
    print(f"{'section':10}" + "".join(f" {label:>9}" for label, _ in files))
    names = []
    for _, info in files:
        names += [n for n in info["sections"] if n not in names]
    for name in names:
        print(f"{name:10}" + "".join(f" {info['sections'].get(name, 0):9}" for _, info in files))
    for row, key in (("file", "bytes"), ("outside", "outside"), ("resources", "resources"),
                     ("imports", "functions")):
        print(f"{row:10}" + "".join(f" {info[key]:9}" for _, info in files))
    print("(baseline: with the C runtime; bare: without it; outside: file bytes outside .rsrc; "
          "resources: the resource data itself; imports: imported functions)")

    arch = ours["arch"]
    ratio = ours["bytes"] / base["bytes"]
    print(f"| size of the {arch} release exe | {kib(base['bytes'])} | {kib(ours['bytes'])} | "
          f"{ratio:.3f} | <= {GOAL_RATIO:.2f} | {verdict(ratio <= GOAL_RATIO)} |")
    print(f"| size of the {arch} release exe, absolute | - | {ours['bytes']} bytes | - | "
          f"<= {GOAL_BYTES} bytes | {verdict(ours['bytes'] <= GOAL_BYTES)} |")
    code_ratio = ours["outside"] / base["outside"]
    print(f"| {arch} bytes outside the resources, against the baseline with the C runtime | "
          f"{base['outside']} | {ours['outside']} | {code_ratio:.3f} | <= {GOAL_CODE_RATIO:.2f} | "
          f"{verdict(code_ratio <= GOAL_CODE_RATIO)} |")
    print(f"| {arch} bytes outside the resources, against the baseline without it (the floor) | "
          f"{bare['outside']} | {ours['outside']} | {ours['outside'] / bare['outside']:.3f} | - | - |")
    foreign = [d for d in ours["dlls"] if d.lower() not in ALLOWED_DLLS]
    print(f"| DLLs imported | {', '.join(base['dlls'])} | {', '.join(ours['dlls'])} | - | "
          f"Windows' own only | {'missed: ' + ', '.join(foreign) if foreign else 'met'} |")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
