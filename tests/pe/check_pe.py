#!/usr/bin/env python3
"""Static checks of a built Tastomat exe (PE32 or PE32+).

Usage: check_pe.py tastomat.exe [more.exe ...]

Reads the PE headers, import and export tables and the resource directory of
each file, prints one PASS/FAIL line per check and ends with
"N passed, N failed". The exit status is 1 if any check failed.
"""
import functools
import struct
import sys

ALLOWED_DLLS = {name.lower() for name in (
    "KERNEL32.dll", "USER32.dll", "SHELL32.dll", "msvcrt.dll",
    "GDI32.dll", "ADVAPI32.dll", "COMCTL32.dll")}
RUNTIME_DLL_PREFIXES = ("libstdc++", "libgcc", "libwinpthread")

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24
REQUIRED_TYPES = {RT_ICON, RT_DIALOG, RT_GROUP_ICON}
TOLERATED_TYPES = {RT_VERSION, RT_MANIFEST}

IDD_MAIN, LANG_EN_US, ICON_GROUP = 100, 0x0409, "IDG"
DS_SETFONT, BS_TYPEMASK, BS_DEFPUSHBUTTON = 0x40, 0x0F, 0x01
BUTTON, STATIC = 0x0080, 0x0082  # predefined window class atoms

EXPECTED_DIALOG = {
    "style": 0x90C800C0, "exstyle": 0, "cdit": 5, "rect": (6, 18, 204, 40),
    "menu": None, "class": None, "title": "Tastomat", "font": (8, "MS Sans Serif"),
}
EXPECTED_ITEMS = [  # id, class, text, (x, y, cx, cy), style
    (101, BUTTON, "Ersatz", (10, 20, 40, 14), 0x50010000),
    (102, BUTTON, "Standard", (58, 20, 40, 14), 0x50010000),
    (103, BUTTON, "Verstecken", (106, 20, 40, 14), 0x50010000),
    (104, BUTTON, "Beenden", (154, 20, 40, 14), 0x50010000),
    (105, STATIC, "QUELLHOF: Alternativer Startbutton", (38, 6, 126, 8), 0x50020000),
]
EXPECTED_ICONS = [  # width, height, bColorCount, bits per pixel
    (32, 32, 0, 8), (16, 16, 0, 8), (32, 32, 16, 4), (16, 16, 16, 4)]


class PEError(Exception):
    pass


PARSE_ERRORS = (PEError, struct.error, UnicodeDecodeError)


class PE:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PEError("no MZ signature")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise PEError("no PE signature")
        self.machine, sections, _, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic, = struct.unpack_from("<H", data, opt)
        if self.magic not in (0x10B, 0x20B):
            raise PEError(f"unknown optional header magic {self.magic:#x}")
        self.subsystem, = struct.unpack_from("<H", data, opt + 68)
        dirs_at = opt + (96 if self.magic == 0x10B else 112)
        count = min(struct.unpack_from("<I", data, dirs_at - 4)[0], 16)
        self.dirs = [struct.unpack_from("<II", data, dirs_at + 8 * i) for i in range(count)]
        self.sections = []
        for i in range(sections):
            _, vsize, va, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, opt + opt_size + 40 * i)
            self.sections.append((va, max(vsize, raw_size), raw_size, raw_ptr))

    def directory(self, index):
        return self.dirs[index] if index < len(self.dirs) else (0, 0)

    def offset(self, rva):
        for va, span, raw_size, raw_ptr in self.sections:
            if va <= rva < va + span:
                if rva - va >= raw_size:
                    raise PEError(f"RVA {rva:#x} lies in uninitialised data")
                return raw_ptr + rva - va
        raise PEError(f"RVA {rva:#x} is in no section")

    def read(self, rva, size):
        start = self.offset(rva)
        chunk = self.data[start:start + size]
        if len(chunk) != size:
            raise PEError(f"{size} bytes at RVA {rva:#x} run past the end of the file")
        return chunk

    def cstr(self, rva):
        start = self.offset(rva)
        end = self.data.find(b"\0", start)
        if end < 0:
            raise PEError(f"unterminated string at RVA {rva:#x}")
        return self.data[start:end].decode("ascii")

    @functools.cached_property
    def resources(self):
        """The resource tree as {type: {name: {language: bytes}}}."""
        root = self.directory(2)[0]
        if not root:
            raise PEError("no resource directory")

        def key(name):
            if not name & 0x80000000:
                return name
            length, = struct.unpack("<H", self.read(root + (name & 0x7FFFFFFF), 2))
            return self.read(root + (name & 0x7FFFFFFF) + 2, 2 * length).decode("utf-16-le")

        def level(offset, depth):
            named, ids = struct.unpack("<HH", self.read(root + offset + 12, 4))
            tree = {}
            for i in range(named + ids):
                name, target = struct.unpack("<II", self.read(root + offset + 16 + 8 * i, 8))
                if bool(target & 0x80000000) != (depth < 2):
                    raise PEError("resource tree is not type/name/language")
                if depth < 2:
                    tree[key(name)] = level(target & 0x7FFFFFFF, depth + 1)
                else:
                    data_rva, size = struct.unpack("<II", self.read(root + target, 8))
                    tree[key(name)] = self.read(data_rva, size)
            return tree

        return level(0, 0)


def imported_dlls(pe):
    names = []
    for index, size, name_field in ((1, 20, 3), (13, 32, 1)):  # imports, delay-load imports
        rva = pe.directory(index)[0]
        while rva:
            desc = struct.unpack(f"<{size // 4}I", pe.read(rva, size))
            if not any(desc):
                break
            names.append(pe.cstr(desc[name_field]))
            rva += size
    return names


def exports(pe):
    """(number of exported functions, exported names)."""
    rva = pe.directory(0)[0]
    if not rva:
        return 0, []
    fields = struct.unpack("<IIHHIIIIIII", pe.read(rva, 40))
    functions, names, name_table = fields[6], fields[7], fields[9]
    name_rvas = struct.unpack(f"<{names}I", pe.read(name_table, 4 * names)) if names else ()
    return functions, [pe.cstr(rva) for rva in name_rvas]


def only_language(langs, what):
    if len(langs) != 1:
        raise PEError(f"{what} exists in {len(langs)} languages, expected 1")
    return next(iter(langs.values()))


def utf16z(blob, pos):
    end = pos
    while blob[end:end + 2] != b"\0\0":
        if end >= len(blob):
            raise PEError("unterminated UTF-16 string in dialog")
        end += 2
    return blob[pos:end].decode("utf-16-le"), end + 2


def sz_or_ord(blob, pos):
    """None for an empty field, an int for an ordinal, else the string."""
    first, = struct.unpack_from("<H", blob, pos)
    if first == 0:
        return None, pos + 2
    if first == 0xFFFF:
        return struct.unpack_from("<H", blob, pos + 2)[0], pos + 4
    return utf16z(blob, pos)


def parse_dialog(blob):
    style, exstyle, cdit, *rect = struct.unpack_from("<IIHhhhh", blob, 0)
    head = {"style": style, "exstyle": exstyle, "cdit": cdit, "rect": tuple(rect), "font": None}
    head["menu"], pos = sz_or_ord(blob, 18)
    head["class"], pos = sz_or_ord(blob, pos)
    head["title"], pos = utf16z(blob, pos)
    if style & DS_SETFONT:
        points, = struct.unpack_from("<H", blob, pos)
        face, pos = utf16z(blob, pos + 2)
        head["font"] = (points, face)
    items = []
    for _ in range(cdit):
        pos = (pos + 3) & ~3
        style, exstyle, *rect, ident = struct.unpack_from("<IIhhhhH", blob, pos)
        cls, pos = sz_or_ord(blob, pos + 18)
        text, pos = sz_or_ord(blob, pos)
        extra, = struct.unpack_from("<H", blob, pos)
        pos += 2 + extra
        items.append({"id": ident, "class": cls, "text": text, "rect": tuple(rect),
                      "style": style, "exstyle": exstyle, "creation data": extra})
    return head, items


def diff(label, actual, expected, show=repr):
    return [] if actual == expected else [f"{label} is {show(actual)}, expected {show(expected)}"]


def hex32(value):
    return f"{value:#010x}"


def hex_list(values):
    return "[" + ", ".join(f"{value:#06x}" for value in values) + "]"


def show_class(value):
    return f"atom {value:#06x}" if isinstance(value, int) else repr(value)


def check_headers(pe):
    machine = {0x10B: 0x14C, 0x20B: 0x8664}[pe.magic]
    yield "machine matches PE32/PE32+", diff("machine", pe.machine, machine, hex)
    yield "GUI subsystem", diff("subsystem", pe.subsystem, 2)


def check_imports(pe):
    dlls = imported_dlls(pe)
    foreign = [d for d in dlls if d.lower() not in ALLOWED_DLLS]
    problems = [f"imports {', '.join(foreign)}"] if foreign else []
    yield "imports only Windows system DLLs", problems if dlls else ["import table is empty"]
    runtime = [d for d in dlls if d.lower().startswith(RUNTIME_DLL_PREFIXES)]
    yield "no libstdc++/libgcc/libwinpthread import", [f"imports {', '.join(runtime)}"] if runtime else []


def check_exports(pe):
    functions, names = exports(pe)
    yield "exports exactly CTRLPROC", (diff("exported names", names, ["CTRLPROC"])
                                       + diff("exported functions", functions, 1))


def check_resource_types(pe):
    types = set(pe.resources)
    missing, extra = REQUIRED_TYPES - types, types - REQUIRED_TYPES - TOLERATED_TYPES
    yield "resource types", ([f"missing types {sorted(missing)}"] if missing else []) + (
        [f"unexpected types {sorted(extra, key=str)}"] if extra else [])


def check_dialog(pe):
    langs = pe.resources.get(RT_DIALOG, {}).get(IDD_MAIN, {})
    yield f"dialog {IDD_MAIN} in language {LANG_EN_US:#06x}", diff("languages", sorted(langs), [LANG_EN_US],
                                                                 hex_list)
    if LANG_EN_US not in langs:
        return
    blob = langs[LANG_EN_US]
    is_ex = blob[:4] == b"\1\0\xff\xff"
    yield "dialog is a plain DLGTEMPLATE", ["DLGTEMPLATEEX (starts 1, 0xFFFF)"] if is_ex else []
    if is_ex:
        return
    head, items = parse_dialog(blob)
    problems = []
    for field, want in EXPECTED_DIALOG.items():
        problems += diff(field, head[field], want, hex32 if field == "style" else repr)
    yield "dialog header", problems
    for index, (item, (ident, cls, text, rect, style)) in enumerate(zip(items, EXPECTED_ITEMS)):
        yield f"dialog item {index + 1} (id {ident})", (
            diff("id", item["id"], ident) + diff("class", item["class"], cls, show_class)
            + diff("text", item["text"], text) + diff("rect", item["rect"], rect)
            + diff("style", item["style"], style, hex32)
            + diff("exstyle", item["exstyle"], 0) + diff("creation data size", item["creation data"], 0))
    defaults = [item["id"] for item in items
                if item["class"] == BUTTON and item["style"] & BS_TYPEMASK == BS_DEFPUSHBUTTON]
    yield "no BS_DEFPUSHBUTTON", [f"default push button(s): {defaults}"] if defaults else []


def check_icons(pe):
    groups = pe.resources.get(RT_GROUP_ICON, {})
    yield f"icon group {ICON_GROUP!r} present", [] if ICON_GROUP in groups else [f"groups are {list(groups)}"]
    if ICON_GROUP not in groups:
        return
    blob = only_language(groups[ICON_GROUP], "icon group")
    _, kind, count = struct.unpack_from("<HHH", blob, 0)
    entries = [struct.unpack_from("<BBBBHHIH", blob, 6 + 14 * i) for i in range(count)]
    shapes = [(w, h, colors, bpp) for w, h, colors, _, _, bpp, _, _ in entries]
    yield "icon group header and entries", (
        diff("idType", kind, 1) + diff("idCount", count, len(EXPECTED_ICONS))
        + diff("entries (w, h, colors, bpp)", shapes, EXPECTED_ICONS))
    icons = pe.resources.get(RT_ICON, {})
    for w, h, _, _, _, bpp, size, ident in entries:
        name = f"icon {w}x{h} {bpp}bpp (RT_ICON {ident})"
        if ident not in icons:
            yield name, ["no such RT_ICON resource"]
            continue
        data = only_language(icons[ident], f"RT_ICON {ident}")
        bi_size, width, height, _, bits, compression = struct.unpack_from("<IiiHHI", data, 0)
        yield name, (diff("biSize", bi_size, 40) + diff("biWidth", width, w) + diff("biHeight", height, 2 * h)
                     + diff("biBitCount", bits, bpp) + diff("biCompression", compression, 0)
                     + diff("data size", len(data), size))
    used = [entry[7] for entry in entries]
    yield "RT_ICON resources are those the group uses", diff("RT_ICON ids", sorted(icons, key=str),
                                                             sorted(used, key=str))


CHECKS = [("headers", check_headers), ("imports", check_imports), ("exports", check_exports),
          ("resource types", check_resource_types), ("dialog", check_dialog), ("icons", check_icons)]


def check_file(path):
    """Yields (check name, list of problems) for one file."""
    try:
        with open(path, "rb") as f:
            pe = PE(f.read())
    except (OSError, *PARSE_ERRORS) as e:
        yield "readable PE file", [str(e)]
        return
    for group, check in CHECKS:
        try:
            yield from check(pe)
        except PARSE_ERRORS as e:
            yield f"{group} parse", [str(e)]


def main(paths):
    if not paths:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    passed = failed = 0
    for path in paths:
        for name, problems in check_file(path):
            if problems:
                failed += 1
                print(f"FAIL {path}: {name}: {'; '.join(problems)}")
            else:
                passed += 1
                print(f"PASS {path}: {name}")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
