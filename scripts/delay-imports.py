#!/usr/bin/env python3
"""Lists the delay-loaded imports of a PE image (PE32 or PE32+).

    delay-imports.py PROGRAM.exe      prints "dll: function" lines

The linker used here leaves the delay-import data directory empty, so the
descriptors are found by their shape: 32-byte records, 4-byte aligned, with
the attribute 1 (addresses are RVAs), a DLL name that is a "*.dll" string
inside the image, module-handle, address-table and name-table RVAs inside
the image, and the bound/unload/time-stamp fields zero. Exit status 2 if the
file is not a PE image.
"""
import struct
import sys


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
    sections = []
    table = pe + 24 + optional_size
    for i in range(sections_count):
        vsize, va, rsize, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
        sections.append((va, max(vsize, rsize), raw, rsize))

    def offset(rva):
        for va, size, raw, rsize in sections:
            if va <= rva < va + size:
                return raw + (rva - va) if rva - va < rsize else None
        return None

    def text(rva):
        at = offset(rva)
        if at is None:
            return None
        end = data.find(b"\0", at, at + 256)
        return data[at:end].decode("latin-1") if end > at else None

    found = []
    for va, size, raw, rsize in sections:
        for at in range(raw, raw + rsize - 31, 4):
            attrs, name, hmod, iat, names, bound, unload, stamp = struct.unpack_from("<8I", data, at)
            if attrs != 1 or bound or unload or stamp:
                continue
            dll = text(name)
            if not dll or not dll.lower().endswith(".dll") or offset(hmod) is None or offset(iat) is None:
                continue
            if offset(names) is None:
                continue
            functions = []
            entry = offset(names)
            step = 8 if wide else 4
            while True:
                value = struct.unpack_from("<Q" if wide else "<I", data, entry)[0]
                if value == 0:
                    break
                if value >> (63 if wide else 31):
                    functions.append("#%d" % (value & 0xFFFF))
                else:
                    functions.append(text(value + 2) or "?")
                entry += step
            found.append((dll, functions))
    for dll, functions in found:
        for function in functions:
            print("%s: %s" % (dll, function))


if __name__ == "__main__":
    main(sys.argv[1])
