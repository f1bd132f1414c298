#!/usr/bin/env python3
"""The stub settings block: the 50 bytes of an untouched stub's two settings
areas, read from payload/StubSettings.h (kDefaultBlock), and where they occur
in a program file.

  stub_block.py count FILE    print how often the block occurs in FILE
  stub_block.py show          print the block as Python bytes
"""
import os
import re
import sys

AREA_SIZE = 25
BLOCK_SIZE = 2 * AREA_SIZE
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

_ESCAPES = {'n': 10, 'r': 13, 't': 9, '\\': 92, '"': 34, "'": 39}


def _decode(literal):
    """The bytes of one C string literal's contents (escapes: octal, \\x, simple)."""
    out = bytearray()
    i = 0
    while i < len(literal):
        c = literal[i]
        if c != '\\':
            out += c.encode('ascii')
            i += 1
            continue
        n = literal[i + 1]
        if n in '01234567':
            m = re.match(r'[0-7]{1,3}', literal[i + 1:])
            out.append(int(m.group(0), 8))
            i += 1 + len(m.group(0))
        elif n == 'x':
            m = re.match(r'[0-9A-Fa-f]+', literal[i + 2:])
            out.append(int(m.group(0), 16))
            i += 2 + len(m.group(0))
        else:
            out.append(_ESCAPES[n])
            i += 2
    return bytes(out)


def default_block(root=ROOT):
    with open(os.path.join(root, 'payload', 'StubSettings.h'), encoding='ascii') as f:
        header = f.read()
    m = re.search(r'kDefaultBlock\[\]\s*=(.*?);', header, re.S)
    if not m:
        raise SystemExit('stub_block: kDefaultBlock not found in payload/StubSettings.h')
    code = re.sub(r'//[^\n]*', '', m.group(1))
    block = b''.join(_decode(s) for s in re.findall(r'"((?:[^"\\]|\\.)*)"', code))
    if len(block) != BLOCK_SIZE:
        raise SystemExit('stub_block: kDefaultBlock holds %d bytes, not %d' % (len(block), BLOCK_SIZE))
    return block


def find_all(data, block):
    """Every offset at which block starts in data (overlaps included)."""
    found = []
    at = data.find(block)
    while at >= 0:
        found.append(at)
        at = data.find(block, at + 1)
    return found


def main(argv):
    if len(argv) == 3 and argv[1] == 'count':
        with open(argv[2], 'rb') as f:
            print(len(find_all(f.read(), default_block())))
        return 0
    if len(argv) == 2 and argv[1] == 'show':
        print(default_block())
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
