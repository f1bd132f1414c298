#!/usr/bin/env python3
"""Lists the imports of a PE image (PE32 or PE32+) that are bound after
start-up, and checks that every one of them can be reached.

    late-imports.py PROGRAM.exe

Two kinds are found:
- the stub's own table of late imports: the marker "QmLateImports", then
  "dll\\0name\\0...\\0\\0" for each DLL, then an empty DLL name (the stub
  fills a slot for each name itself, after start-up);
- delay-import descriptors as linkers write them: 32-byte records, 4-byte
  aligned, attribute 1 (addresses are RVAs), a "*.dll" name inside the
  image, module-handle, address-table and name-table RVAs inside the image,
  and the bound/unload/time-stamp fields zero (the linkers used here may
  leave the data directory empty, so they are found by their shape). Each
  entry of such an address table must point at code inside the image (the
  thunk that loads the DLL on first call): an empty entry is a call to
  address 0.

- the kernel32 functions that take a path (support/PathFunctionNames.h),
  each named once without its A or W: the stub looks up one form or the
  other by name after start-up, so both are listed.

Prints "dll: function" lines, and "FAIL: ..." lines for address-table
entries that point nowhere. Exit status 1 if there is any FAIL, 2 if the
file is not a PE image.

    late-imports.py --list launcher/LateImports.cpp

prints the same "dll: function" lines for the list in the source, the one
place that names the functions the stub binds late (and so the wide ones
it may call: scripts/check-product.sh reads them from here).

    late-imports.py --paths

prints the path functions of support/PathFunctionNames.h in both forms,
which the stub may bind late (never import).
"""
import os
import re
import struct
import sys

MARKER = b"QmLateImports\0"
CODE = 0x20000000  # IMAGE_SCN_MEM_EXECUTE


def main(path):
    data = open(path, "rb").read()
    if data[:2] != b"MZ":
        sys.exit(2)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        sys.exit(2)
    sections_count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    wide = magic == 0x20B
    image_base = struct.unpack_from("<Q" if wide else "<I", data, pe + 24 + (24 if wide else 28))[0]
    sections = []
    table = pe + 24 + optional_size
    for i in range(sections_count):
        vsize, va, rsize, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
        flags = struct.unpack_from("<I", data, table + 40 * i + 36)[0]
        sections.append((va, max(vsize, rsize), raw, rsize, flags))

    def section_of(rva):
        for section in sections:
            if section[0] <= rva < section[0] + section[1]:
                return section
        return None

    def offset(rva):
        section = section_of(rva)
        if section is None:
            return None
        va, size, raw, rsize, flags = section
        return raw + (rva - va) if rva - va < rsize else None

    def text(rva):
        at = offset(rva)
        if at is None:
            return None
        end = data.find(b"\0", at, at + 256)
        return data[at:end].decode("latin-1") if end > at else None

    lines, failures = [], []

    # The stub's own table.
    at = data.find(MARKER)
    if at >= 0:
        names = data[at + len(MARKER):].split(b"\0")
        i = 0
        while i < len(names) and names[i]:
            dll = names[i].decode("latin-1")
            i += 1
            while i < len(names) and names[i]:
                lines.append("%s: %s" % (dll, names[i].decode("latin-1")))
                i += 1
            i += 1

    # The path functions, in both forms.
    for function in path_functions(data):
        lines += ["kernel32.dll: %sA" % function, "kernel32.dll: %sW" % function]

    # Delay-import descriptors.
    step = 8 if wide else 4
    word = "<Q" if wide else "<I"
    for va, size, raw, rsize, flags in sections:
        for at in range(raw, raw + rsize - 31, 4):
            attrs, name, hmod, iat, names, bound, unload, stamp = struct.unpack_from("<8I", data, at)
            if attrs != 1 or bound or unload or stamp:
                continue
            dll = text(name)
            if not dll or not dll.lower().endswith(".dll") or offset(hmod) is None or offset(iat) is None:
                continue
            if offset(names) is None:
                continue
            entry, slot = offset(names), offset(iat)
            while True:
                value = struct.unpack_from(word, data, entry)[0]
                if value == 0:
                    break
                if value >> (63 if wide else 31):
                    function = "#%d" % (value & 0xFFFF)
                else:
                    function = text(value + 2) or "?"
                lines.append("%s: %s" % (dll, function))
                target = struct.unpack_from(word, data, slot)[0]
                target_section = section_of(target - image_base) if target >= image_base else None
                if target_section is None or not target_section[4] & CODE:
                    failures.append("FAIL: %s: %s: its address-table entry (%#x) points at no code in the image"
                                    % (dll, function, target))
                entry += step
                slot += step
    for line in lines + failures:
        print(line)
    sys.exit(1 if failures else 0)


def path_function_names():
    """The names of support/PathFunctionNames.h, without their A or W."""
    header = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support", "PathFunctionNames.h")
    source = open(header, encoding="utf-8").read()
    literal = "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', source.split("kPathFunctionNames[]", 1)[1]))
    return [name for name in literal.split("\\0") if name]


def path_functions(data):
    """The path functions whose list the image carries (none when it does
    not carry it whole)."""
    names = path_function_names()
    block = b"\0".join(name.encode("ascii") for name in names) + b"\0\0"
    return names if data.find(block) >= 0 else []


def listed(path):
    """The "dll: function" lines of the source's list: QM_LATE_DLLS(X) names
    each DLL with the macro that lists its functions as X(Name, bytes)."""
    source = open(path, encoding="utf-8").read().replace("\\\n", " ")
    macros = dict(re.findall(r"^#define (QM_[A-Z0-9_]+)\(X\)(.*)$", source, re.M))
    dlls = re.findall(r"X\((\w+), (QM_\w+)\)", macros.get("QM_LATE_DLLS", ""))
    if not dlls:
        sys.exit("late-imports: no QM_LATE_DLLS list in %s" % path)
    for dll, macro in dlls:
        for function in re.findall(r"X\((\w+), \d+\)", macros.get(macro, "")):
            print("%s.dll: %s" % (dll, function))


def listed_paths():
    """The "dll: function" lines of the path functions, both forms."""
    for function in path_function_names():
        print("kernel32.dll: %sA" % function)
        print("kernel32.dll: %sW" % function)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--list":
        listed(sys.argv[2])
    elif len(sys.argv) == 2 and sys.argv[1] == "--paths":
        listed_paths()
    else:
        main(sys.argv[1])
