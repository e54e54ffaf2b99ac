#!/usr/bin/env python3
"""Size of the release exe against the minimal dialog program.

Usage: size_bench.py tastomat.exe baseline_dialog.exe

Both are built with the same compile and link options (cmake/small_exe.cmake).
Prints where the bytes are (file bytes per section, the icon, the imported
functions), then the table rows: the size ratio, the absolute size and the
DLLs imported. Exits 1 if a file cannot be read as a PE file.
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "pe"))
from check_pe import ALLOWED_DLLS, PARSE_ERRORS, PE, PE32_PLUS, RT_GROUP_ICON, RT_ICON, imports  # noqa: E402

GOAL_RATIO = 1.5
GOAL_BYTES = 64 * 1024


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


def icon_bytes(pe):
    try:
        tree = pe.resources
    except PARSE_ERRORS:
        return 0
    return sum(len(blob) for kind in (RT_ICON, RT_GROUP_ICON)
               for names in tree.get(kind, {}).values() for blob in names.values())


def describe(path):
    with open(path, "rb") as f:
        data = f.read()
    pe = PE(data)
    table = imports(pe)
    return {"bytes": len(data), "sections": section_sizes(data), "icon": icon_bytes(pe),
            "dlls": [dll for dll, _ in table], "functions": sum(len(names) for _, names in table),
            "arch": "x64" if pe.magic == PE32_PLUS else "x86"}


def kib(n):
    return f"{n / 1024:.1f} KiB"


def main(args):
    if len(args) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    try:
        ours, base = (describe(path) for path in args)
    except (OSError, *PARSE_ERRORS) as e:
        print(f"size_bench: {e}", file=sys.stderr)
        return 1
    print(f"{'section':10} {'baseline':>9} {'tastomat':>9} {'more':>7}")
    names = list(base["sections"]) + [n for n in ours["sections"] if n not in base["sections"]]
    for name in names:
        b, o = base["sections"].get(name, 0), ours["sections"].get(name, 0)
        print(f"{name:10} {b:9} {o:9} {o - b:+7}")
    print(f"{'file':10} {base['bytes']:9} {ours['bytes']:9} {ours['bytes'] - base['bytes']:+7}")
    print(f"icon resources: {ours['icon']} bytes (the baseline has none); imported functions: "
          f"{base['functions']} and {ours['functions']}")

    ratio = ours["bytes"] / base["bytes"]
    print(f"| size of the {ours['arch']} release exe | {kib(base['bytes'])} | {kib(ours['bytes'])} | "
          f"{ratio:.3f} | <= {GOAL_RATIO:.2f} | {'met' if ratio <= GOAL_RATIO else 'missed'} |")
    print(f"| size of the {ours['arch']} release exe, absolute | - | {kib(ours['bytes'])} | - | "
          f"<= {kib(GOAL_BYTES)} | {'met' if ours['bytes'] <= GOAL_BYTES else 'missed'} |")
    foreign = [d for d in ours["dlls"] if d.lower() not in ALLOWED_DLLS]
    print(f"| DLLs imported | {', '.join(base['dlls'])} | {', '.join(ours['dlls'])} | - | "
          f"Windows' own only | {'missed: ' + ', '.join(foreign) if foreign else 'met'} |")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
