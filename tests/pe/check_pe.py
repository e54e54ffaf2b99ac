#!/usr/bin/env python3
"""Static checks of a built Tastomat exe (PE32 or PE32+).

Usage: check_pe.py --version X.Y.Z [--map tastomat.map] tastomat.exe [more.exe ...]

Reads the PE headers, import and export tables and the resource directory of
each file, prints one PASS/FAIL line per check and ends with
"N passed, N failed". The exit status is 1 if any check failed. The version
is the one the build was given; the version record and the manifest's
assembly identity must carry it.

The x86 exe must load on Windows 95 and NT 4.0, the x64 one on Windows XP
x64: every imported function must be on the list of those known to exist
there, and the headers must not ask for a newer Windows. The exe imports
from Windows' own three DLLs only and starts at the program's own entry
point, with nothing that runs before it; the linker map (--map) tells where
that entry point is and which input sections went into the exe.
"""
import argparse
import collections
import functools
import re
import struct
import sys
import xml.etree.ElementTree as ElementTree
import xml.parsers.expat

PE32, PE32_PLUS = 0x10B, 0x20B  # optional header magic

# The functions the exe may import. Each is known to exist on the oldest
# Windows the exe is for, so a change of the code or the toolchain that
# brings in a newer API, which would keep the exe from loading there, fails
# the checks. Add a name only when that is certain. These sets exist on
# Windows 95, NT 4.0 and XP x64 alike.
KERNEL32 = set("""
    CloseHandle CreateFileA CreateProcessA DeleteFileA ExitProcess GetCommandLineA GetCurrentDirectoryA
    GetCurrentThreadId GetFileAttributesA GetFileType GetLastError GetModuleHandleA GetProcessHeap HeapAlloc
    HeapFree HeapReAlloc ReadFile SetEndOfFile SetErrorMode SetFilePointer SetLastError WriteFile""".split())
USER32 = set("""
    CallWindowProcA CreateWindowExA DestroyIcon DialogBoxParamA EndDialog FindWindowA FindWindowExA
    GetForegroundWindow GetParent GetWindowRect GetWindowThreadProcessId IsWindow
    IsWindowVisible KillTimer LoadIconA MessageBoxA RedrawWindow RegisterWindowMessageA
    SetForegroundWindow SetTimer SetWindowLongA SetWindowPos ShowWindow""".split())
SHELL32 = {"Shell_NotifyIconA"}
# The exe needs no C runtime DLL (Windows 95 does not always have
# msvcrt.dll): exactly Windows' own three.
ALLOWED_IMPORTS = {  # optional header magic: (the Windows the exe must load on, {DLL: functions})
    PE32: ("Windows 95 and NT 4.0", {"kernel32.dll": KERNEL32, "user32.dll": USER32, "shell32.dll": SHELL32}),
    PE32_PLUS: ("Windows XP x64", {
        "kernel32.dll": KERNEL32,
        # Exported by 64-bit USER32 only; for 32 bits it is a macro for SetWindowLongA.
        "user32.dll": USER32 | {"SetWindowLongPtrA"},
        "shell32.dll": SHELL32}),
}
ALLOWED_DLLS = set(ALLOWED_IMPORTS[PE32][1])
# Windows 95 and NT 4.0 refuse to start an exe that asks for a newer
# subsystem than 4.0, XP x64 one that asks for a newer one than 5.2.
SUBSYSTEM_VERSIONS = {PE32: (4, 0), PE32_PLUS: (5, 2)}

# The program's own entry point (src/app/runtime.cpp). Nothing may run
# before it: no constructors from initializer tables, no TLS callbacks.
ENTRY_SYMBOL = "TastomatStartup"
TLS_DIRECTORY = 9
RUNTIME_SECTIONS = {".tls", ".CRT"}  # what a C runtime's start-up brings
# Input sections whose contents something runs before or after the entry
# point: constructor and destructor tables, TLS data and callbacks.
INITIALIZER_SECTION = re.compile(
    r"(?:^ |:\()(\.ctors|\.dtors|\.init_array|\.fini_array|\.tls|\.CRT\$X[A-Z]*)(?:[.$][^\s)]*)?(?:\)|\s|$)")
# A symbol line of a GNU ld map ("0xADDRESS  NAME") or an lld map
# ("ADDRESS SIZE ALIGN  NAME"); i386 names may carry their underscore.
MAP_SYMBOL = re.compile(r"^\s*(?:0x)?([0-9a-fA-F]{8,16})\s+(?:[0-9a-fA-F]+\s+\d+\s+)?_?(\S+)\s*$")

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24
RESOURCE_TYPES = {RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST}

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

VS_VERSION_INFO, VS_FIXEDFILEINFO_SIGNATURE, VFT_APP = 1, 0xFEEF04BD, 1
STRING_TABLE = "040904B0"  # U.S. English, Unicode
TRANSLATION = struct.pack("<HH", LANG_EN_US, 1200)

CREATEPROCESS_MANIFEST_RESOURCE_ID = 1
ASSEMBLY = "{urn:schemas-microsoft-com:asm.v1}assembly"
ASSEMBLY_IDENTITY = "{urn:schemas-microsoft-com:asm.v1}assemblyIdentity"
ARCHITECTURES = {PE32: "x86", PE32_PLUS: "amd64"}  # processorArchitecture
SUPPORTED_OS = {  # the compatibility ids of Windows Vista, 7, 8, 8.1 and 10/11
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}
COMMON_CONTROLS = "microsoft.windows.common-controls"
# Settings that would change the classic look (DPI) or how the command file's
# bytes are read (the ANSI code page).
UNWANTED_SETTINGS = {"dpiAware", "dpiAwareness", "activeCodePage"}


class PEError(Exception):
    pass


PARSE_ERRORS = (PEError, struct.error, UnicodeDecodeError, ValueError)


class PE:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PEError("no MZ signature")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise PEError("no PE signature")
        self.machine, sections, self.timestamp, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic, = struct.unpack_from("<H", data, opt)
        if self.magic not in (PE32, PE32_PLUS):
            raise PEError(f"unknown optional header magic {self.magic:#x}")
        wide = self.magic == PE32_PLUS
        self.entry_point, = struct.unpack_from("<I", data, opt + 16)
        self.image_base, = struct.unpack_from("<Q" if wide else "<I", data, opt + (24 if wide else 28))
        os_major, os_minor, _, _, sub_major, sub_minor = struct.unpack_from("<6H", data, opt + 40)
        self.os_version, self.subsystem_version = (os_major, os_minor), (sub_major, sub_minor)
        self.subsystem, = struct.unpack_from("<H", data, opt + 68)
        dirs_at = opt + (112 if wide else 96)
        count = min(struct.unpack_from("<I", data, dirs_at - 4)[0], 16)
        self.dirs = [struct.unpack_from("<II", data, dirs_at + 8 * i) for i in range(count)]
        self.sections, self.section_names = [], []
        for i in range(sections):
            name, vsize, va, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, opt + opt_size + 40 * i)
            self.sections.append((va, max(vsize, raw_size), raw_size, raw_ptr))
            self.section_names.append(name.rstrip(b"\0").decode("ascii", "replace"))

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

    @property
    def resources(self):
        """The resource tree as {type: {name: {language: bytes}}}."""
        return self.resource_tree[0]

    @property
    def resource_stamps(self):
        """The time stamps of the resource directory tables."""
        return self.resource_tree[1]

    @functools.cached_property
    def resource_tree(self):
        """(the resource tree, the set of its directory tables' time stamps)."""
        stamps = set()
        root = self.directory(2)[0]
        if not root:
            raise PEError("no resource directory")

        def key(name):
            if not name & 0x80000000:
                return name
            length, = struct.unpack("<H", self.read(root + (name & 0x7FFFFFFF), 2))
            return self.read(root + (name & 0x7FFFFFFF) + 2, 2 * length).decode("utf-16-le")

        def level(offset, depth):
            _, stamp, _, _, named, ids = struct.unpack("<IIHHHH", self.read(root + offset, 16))
            stamps.add(stamp)
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

        return level(0, 0), stamps


def imports(pe):
    """[(DLL name, its imported functions)] of the import and the delay-load
    import directories; a function imported by ordinal is that number."""
    width = 8 if pe.magic == PE32_PLUS else 4
    by_ordinal = 1 << (8 * width - 1)
    table = []
    # directory, descriptor size, fields of the DLL name and of the lookup table
    for index, size, name_field, lookup_field in ((1, 20, 3, 0), (13, 32, 1, 4)):
        rva = pe.directory(index)[0]
        while rva:
            desc = struct.unpack(f"<{size // 4}I", pe.read(rva, size))
            if not any(desc):
                break
            # Old delay-load descriptors (attribute bit 0 clear) hold addresses, not RVAs.
            base = 0 if index == 1 or desc[0] & 1 else pe.image_base
            functions, at = [], (desc[lookup_field] or desc[4]) - base  # no lookup table: the unbound IAT
            while entry := int.from_bytes(pe.read(at, width), "little"):
                # an ordinal, or where a 2-byte hint and the name are
                functions.append(entry & 0xFFFF if entry & by_ordinal else pe.cstr(entry - base + 2))
                at += width
            table.append((pe.cstr(desc[name_field] - base), functions))
            rva += size
    return table


def imported_dlls(pe):
    return [dll for dll, _ in imports(pe)]


def exports(pe):
    """(number of exported functions, exported names, the table's time stamp).
    Unused slots of the address table (some linkers leave ordinal 0 empty)
    export nothing and are not counted."""
    rva = pe.directory(0)[0]
    if not rva:
        return 0, [], 0
    fields = struct.unpack("<IIHHIIIIIII", pe.read(rva, 40))
    stamp, slots, names, address_table, name_table = fields[1], fields[6], fields[7], fields[8], fields[9]
    addresses = struct.unpack(f"<{slots}I", pe.read(address_table, 4 * slots)) if slots else ()
    name_rvas = struct.unpack(f"<{names}I", pe.read(name_table, 4 * names)) if names else ()
    return sum(1 for a in addresses if a), [pe.cstr(rva) for rva in name_rvas], stamp


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


VersionNode = collections.namedtuple("VersionNode", "key value is_text children end")


def version_node(blob, pos):
    """One node of a version record (VS_VERSIONINFO, StringFileInfo, ...) and
    its children. Text values are decoded, without their terminating NULs."""
    length, value_length, kind = struct.unpack_from("<HHH", blob, pos)
    end = pos + length
    if length < 6 or end > len(blob):
        raise PEError(f"version record node at {pos} has length {length}")
    key, at = utf16z(blob, pos + 6)
    at = (at + 3) & ~3
    size = 2 * value_length if kind == 1 else value_length
    value = blob[at:at + size]
    if kind == 1:
        value = value.decode("utf-16-le").rstrip("\0")
    at = (at + size + 3) & ~3
    children = []
    while at < end:
        child = version_node(blob, at)
        children.append(child)
        at = (child.end + 3) & ~3
    return VersionNode(key, value, kind == 1, children, end)


def version_numbers(text):
    """"1.2.3" as the four numbers of a version record: (1, 2, 3, 0)."""
    numbers = [int(part) for part in text.split(".")]
    if not 1 <= len(numbers) <= 4 or any(not 0 <= n <= 0xFFFF for n in numbers):
        raise ValueError(f"{text!r} is not a version of up to four 16-bit numbers")
    return tuple(numbers + [0] * (4 - len(numbers)))


def local_name(tag):
    return tag.rpartition("}")[2]


def diff(label, actual, expected, show=repr):
    return [] if actual == expected else [f"{label} is {show(actual)}, expected {show(expected)}"]


def dotted(numbers):
    return ".".join(str(n) for n in numbers)


def hex32(value):
    return f"{value:#010x}"


def hex_list(values):
    return "[" + ", ".join(f"{value:#06x}" for value in values) + "]"


def show_class(value):
    return f"atom {value:#06x}" if isinstance(value, int) else repr(value)


def check_headers(pe):
    machine = {PE32: 0x14C, PE32_PLUS: 0x8664}[pe.magic]
    yield "machine matches PE32/PE32+", diff("machine", pe.machine, machine, hex)
    yield "GUI subsystem", diff("subsystem", pe.subsystem, 2)
    version = SUBSYSTEM_VERSIONS[pe.magic]
    yield f"subsystem version {dotted(version)}", diff("subsystem version", pe.subsystem_version, version, dotted)
    yield f"operating system version at most {dotted(version)}", (
        [f"operating system version is {dotted(pe.os_version)}"] if pe.os_version > version else [])


def check_imports(pe):
    table = imports(pe)
    dlls = [dll for dll, _ in table]
    yield "imports exactly KERNEL32, USER32 and SHELL32", diff(
        "imported DLLs", sorted(dll.lower() for dll in dlls), sorted(ALLOWED_DLLS))
    system, allowed = ALLOWED_IMPORTS[pe.magic]
    unknown = [f"{dll} {name}" if isinstance(name, str) else f"{dll} by ordinal {name}"
               for dll, functions in table if dll.lower() in allowed
               for name in functions if name not in allowed[dll.lower()]]
    empty = [dll for dll, functions in table if not functions]
    problems = ([f"not known there: {', '.join(unknown)}"] if unknown else []) + (
        [f"no functions read for {', '.join(empty)}"] if empty else [])
    yield f"imported functions exist on {system}, none by ordinal", problems


def map_symbols(map_text):
    """{name: address} of the symbol lines of a GNU ld or lld map."""
    symbols = {}
    for line in map_text.splitlines():
        match = MAP_SYMBOL.match(line)
        if match:
            symbols.setdefault(match.group(2), int(match.group(1), 16))
        elif line.startswith("Linker script and memory map"):
            symbols.clear()  # what came before were discarded sections
    return symbols


def initializer_sections(map_text):
    """The constructor, destructor and TLS input sections the link kept, as
    named in its map."""
    kept = map_text.split("Linker script and memory map", 1)[-1]
    return sorted({m.group(1) for line in kept.splitlines() if (m := INITIALIZER_SECTION.search(line))})


def check_startup(pe, map_text):
    """The exe starts at the program's own entry point, and nothing runs
    before it. The linker map tells where the entry function is and which
    input sections went into the exe."""
    yield "no TLS directory", (
        [f"TLS directory at RVA {pe.directory(TLS_DIRECTORY)[0]:#x}"] if pe.directory(TLS_DIRECTORY)[0] else [])
    runtime = sorted(RUNTIME_SECTIONS & set(pe.section_names))
    yield "no C runtime sections (.tls, .CRT)", [f"has {', '.join(runtime)}"] if runtime else []
    if map_text is None:
        yield f"entry point is {ENTRY_SYMBOL}", ["no linker map given (--map)"]
        yield "no initializer tables", ["no linker map given (--map)"]
        return
    address = map_symbols(map_text).get(ENTRY_SYMBOL)
    # GNU ld's map gives addresses, lld's relative ones.
    problems = [f"{ENTRY_SYMBOL} is not in the map"] if address is None else (
        [] if pe.entry_point in (address, address - pe.image_base)
        else [f"entry point RVA {pe.entry_point:#x}, {ENTRY_SYMBOL} at {address:#x}"])
    yield f"entry point is {ENTRY_SYMBOL}", problems
    tables = initializer_sections(map_text)
    yield "no initializer tables", [f"the link kept {', '.join(tables)}"] if tables else []


def check_exports(pe):
    functions, names, _ = exports(pe)
    yield "exports exactly CTRLPROC", (diff("exported names", names, ["CTRLPROC"])
                                       + diff("exported functions", functions, 1))


def check_resource_types(pe):
    types = set(pe.resources)
    missing, extra = RESOURCE_TYPES - types, types - RESOURCE_TYPES
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


def check_version(pe, version):
    langs = pe.resources.get(RT_VERSION, {}).get(VS_VERSION_INFO, {})
    yield f"version record in language {LANG_EN_US:#06x}", diff("languages", sorted(langs), [LANG_EN_US],
                                                               hex_list)
    if LANG_EN_US not in langs:
        return
    root = version_node(langs[LANG_EN_US], 0)
    if root.is_text or len(root.value) != 52:
        yield "version record: fixed part", [f"VS_FIXEDFILEINFO is {len(root.value)} bytes, expected 52"]
        return
    signature, _, file_ms, file_ls, product_ms, product_ls, mask, flags, _, kind, _, _, _ = struct.unpack(
        "<13I", root.value)
    numbers = version_numbers(version)
    yield f"version record: fixed part says {version}", (
        diff("key", root.key, "VS_VERSION_INFO") + diff("signature", signature, VS_FIXEDFILEINFO_SIGNATURE, hex32)
        + diff("file version", (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF), numbers)
        + diff("product version", (product_ms >> 16, product_ms & 0xFFFF, product_ls >> 16, product_ls & 0xFFFF),
               numbers)
        + diff("file flags (debug, pre-release, ...)", flags & mask, 0, hex32) + diff("file type", kind, VFT_APP))
    blocks = {child.key: child for child in root.children}
    tables = blocks["StringFileInfo"].children if "StringFileInfo" in blocks else []
    strings = {entry.key: entry.value for table in tables for entry in table.children}
    expected = {"ProductName": "Tastomat", "FileVersion": version, "ProductVersion": version,
                "OriginalFilename": "tastomat.exe"}
    yield f"version record: strings name Tastomat {version}", (
        diff("string tables", [table.key.upper() for table in tables], [STRING_TABLE])
        + [problem for key, want in expected.items() for problem in diff(key, strings.get(key), want)]
        + ([] if strings.get("FileDescription") else ["FileDescription is missing or empty"]))
    variables = blocks["VarFileInfo"].children if "VarFileInfo" in blocks else []
    translations = [var.value for var in variables if var.key == "Translation"]
    yield "version record: translation U.S. English, Unicode", diff("Translation", translations, [TRANSLATION])


def crowded_elements(xml_bytes):
    """The elements that declare more than one namespace (xmlns and xmlns:*
    attributes), as "<name> declares N". Read without namespace processing,
    which would take the declarations away."""
    crowded = []

    def start(name, attributes):
        count = sum(1 for a in attributes if a == "xmlns" or a.startswith("xmlns:"))
        if count > 1:
            crowded.append(f"<{name}> declares {count}")

    parser = xml.parsers.expat.ParserCreate()
    parser.StartElementHandler = start
    parser.Parse(xml_bytes, True)
    return crowded


def check_manifest(pe, version):
    manifests = pe.resources.get(RT_MANIFEST, {})
    yield "one application manifest, id 1", diff("manifest ids", sorted(manifests, key=str),
                                                 [CREATEPROCESS_MANIFEST_RESOURCE_ID])
    if CREATEPROCESS_MANIFEST_RESOURCE_ID not in manifests:
        return
    blob = only_language(manifests[CREATEPROCESS_MANIFEST_RESOURCE_ID], "manifest")
    try:
        root = ElementTree.fromstring(blob)
    except ElementTree.ParseError as e:
        yield "manifest is well-formed XML", [str(e)]
        return
    yield "manifest is an assembly", diff("root element", root.tag, ASSEMBLY)
    # The documented schema wants the application's own identity directly
    # under assembly; on Windows XP a malformed one keeps the exe from starting.
    identities = [e for e in root if e.tag == ASSEMBLY_IDENTITY]
    architecture, want = ARCHITECTURES[pe.magic], dotted(version_numbers(version))
    problems = diff("assemblyIdentity elements under assembly", len(identities), 1)
    if len(identities) == 1:
        identity = identities[0]
        problems += (diff("type", identity.get("type"), "win32")
                     + ([] if (identity.get("name") or "").strip() else ["name is missing or empty"])
                     + diff("version", identity.get("version"), want)
                     + diff("processorArchitecture", (identity.get("processorArchitecture") or "").lower(),
                            architecture))
    yield f"manifest: assemblyIdentity win32, {architecture}, version {want}", problems
    # Windows XP SP2 without a fix brings csrss.exe (and with it Windows) down
    # on an element with two namespace declarations.
    yield "manifest: no element declares two namespaces", crowded_elements(blob)
    elements = list(root.iter())
    levels = [(e.get("level"), e.get("uiAccess")) for e in elements
              if local_name(e.tag) == "requestedExecutionLevel"]
    yield "manifest: runs asInvoker", diff("requestedExecutionLevel (level, uiAccess)", levels,
                                           [("asInvoker", "false")])
    systems = sorted((e.get("Id") or "").lower() for e in elements if local_name(e.tag) == "supportedOS")
    yield "manifest: supports Windows Vista to 10/11", diff("supportedOS ids", systems, sorted(SUPPORTED_OS))
    controls = [e.get("name") for e in elements if local_name(e.tag) == "assemblyIdentity"
                and (e.get("name") or "").lower() == COMMON_CONTROLS]
    yield "manifest: no common controls 6 (classic look)", [f"depends on {', '.join(controls)}"] if controls else []
    unwanted = sorted({local_name(e.tag) for e in elements} & UNWANTED_SETTINGS)
    yield "manifest: no DPI awareness, no code page", [f"sets {', '.join(unwanted)}"] if unwanted else []


def check_timestamps(pe):
    _, _, export_stamp = exports(pe)
    debug_rva, debug_size = pe.directory(6)
    debug_stamps = [struct.unpack_from("<I", pe.read(debug_rva + at, 28), 4)[0] for at in range(0, debug_size, 28)]
    yield "no time stamps (reproducible)", (
        diff("file header TimeDateStamp", pe.timestamp, 0, hex32)
        + diff("export directory TimeDateStamp", export_stamp, 0, hex32)
        + diff("resource directory TimeDateStamps", sorted(pe.resource_stamps), [0], hex_list)
        + diff("debug directory TimeDateStamps", [s for s in debug_stamps if s], [], hex_list))


def checks(version, map_text):
    return [("headers", check_headers), ("imports", check_imports), ("exports", check_exports),
            ("start-up", functools.partial(check_startup, map_text=map_text)),
            ("resource types", check_resource_types), ("dialog", check_dialog), ("icons", check_icons),
            ("version record", functools.partial(check_version, version=version)),
            ("manifest", functools.partial(check_manifest, version=version)), ("time stamps", check_timestamps)]


def check_file(path, version, map_text=None):
    """Yields (check name, list of problems) for one file."""
    try:
        with open(path, "rb") as f:
            pe = PE(f.read())
    except (OSError, *PARSE_ERRORS) as e:
        yield "readable PE file", [str(e)]
        return
    for group, check in checks(version, map_text):
        try:
            yield from check(pe)
        except PARSE_ERRORS as e:
            yield f"{group} parse", [str(e)]


def report(results):
    """Prints a PASS or FAIL line for each (label, problems) and the totals;
    returns the exit status."""
    passed = failed = 0
    for label, problems in results:
        if problems:
            failed += 1
            print(f"FAIL {label}: {'; '.join(problems)}")
        else:
            passed += 1
            print(f"PASS {label}")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    parser.add_argument("--version", required=True, help="the version the build was given, e.g. 1.0.0")
    parser.add_argument("--map", help="the linker map of the exe (one exe only)")
    parser.add_argument("paths", nargs="+", metavar="exe")
    args = parser.parse_args(argv)
    try:
        version_numbers(args.version)
    except ValueError as e:
        parser.error(str(e))
    if args.map and len(args.paths) != 1:
        parser.error("--map goes with one exe")
    map_text = None
    if args.map:
        with open(args.map, encoding="latin-1") as f:
            map_text = f.read()
    return report((f"{path}: {name}", problems)
                  for path in args.paths for name, problems in check_file(path, args.version, map_text))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
