#!/usr/bin/env python3
"""The stub settings block: the 50 bytes of an untouched stub's two settings
areas, read from payload/StubSettings.h (kDefaultBlock), and where they occur
in a program file.

  stub_block.py count FILE    print how often the block occurs in FILE
  stub_block.py show          print the block as Python bytes
  stub_block.py check-doc MD  check that the block shown in the document's
                              "Stub settings" section is the stub's own
  stub_block.py check-doc-work-folder MD
                              check that every work folder the document shows
                              follows payload/WorkFolderRecipe.h, and that the
                              length it gives the typical one is right
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


def documented_block(path):
    """The block in the first code block of the "## Stub settings" section
    of a Markdown document, in C notation."""
    with open(path, encoding='utf-8') as f:
        text = f.read()
    m = re.search(r'^## Stub settings\n.*?^```\n(.*?)\n```', text, re.S | re.M)
    if not m:
        raise SystemExit('stub_block: no code block under "## Stub settings" in %s' % path)
    return _decode(m.group(1).strip())


def work_folder_recipe(root=ROOT):
    """The parent folders and the name format of payload/WorkFolderRecipe.h."""
    with open(os.path.join(root, 'payload', 'WorkFolderRecipe.h'), encoding='ascii') as f:
        header = f.read()
    m = re.search(r'#define QM_WORK_FOLDER_PARENTS\(X\)((?: X\("[^"\\]*"\))+)', header)
    f = re.search(r'kIdFormat = "([^"]*)"', header)
    if not m or not f:
        raise SystemExit('stub_block: the recipe not found in payload/WorkFolderRecipe.h')
    return re.findall(r'X\("([^"]*)"\)', m.group(1)), f.group(1)


def check_doc_work_folder(path):
    """Every line of the document that names one of the recipe's folders
    shows all of them in order, followed by the name; the typical work
    folder's stated length matches its text."""
    parents, id_format = work_folder_recipe()
    joined = '\\'.join(parents) + '\\'
    with open(path, encoding='utf-8') as f:
        lines = f.read().split('\n')
    faults, shown = [], 0
    for number, line in enumerate(lines, 1):
        if not any(p in line for p in parents):
            continue
        at = line.find(joined)
        rest = line[at + len(joined):] if at >= 0 else ''
        if at < 0 or not (rest.startswith('<process id as %s>' % id_format) or rest.startswith('XXXXXXXX\\')):
            faults.append('line %d does not follow the recipe %s<process id as %s>: %s' % (number, joined, id_format, line))
            continue
        shown += 1
        m = re.search(r'`(C:\\Documents and Settings\\<20 characters>[^`]*)`', line)
        if m:
            typical = m.group(1).replace('<20 characters>', 'u' * 20)
            stated = re.search(r'\((\d+) bytes\)', '\n'.join(lines[number - 1:number + 1]))
            if not stated or int(stated.group(1)) != len(typical.encode('ascii')):
                faults.append('line %d: the typical work folder takes %d bytes, not as stated' % (number, len(typical)))
    if shown == 0:
        faults.append('no work folder shown')
    for fault in faults:
        print('FAIL: %s: %s' % (path, fault))
    if not faults:
        print('ok: %s shows the work folder as payload/WorkFolderRecipe.h makes it (%d places)' % (path, shown))
    return 1 if faults else 0


def main(argv):
    if len(argv) == 3 and argv[1] == 'check-doc-work-folder':
        return check_doc_work_folder(argv[2])
    if len(argv) == 3 and argv[1] == 'check-doc':
        shown, real = documented_block(argv[2]), default_block()
        if shown != real:
            print('FAIL: %s shows the settings block as %r; the stub holds %r' % (argv[2], shown, real))
            return 1
        print('ok: %s shows the stub\'s settings block' % argv[2])
        return 0
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
