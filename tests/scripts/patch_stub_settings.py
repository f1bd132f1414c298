#!/usr/bin/env python3
"""Proves that a program reads its stub settings at run time: copies the
settings printer, writes new values into the one settings block of the copy,
runs the copy (under RUNNER when given, e.g. scripts/wine-run) and compares
what it prints.

  patch_stub_settings.py PRINTER [RUNNER]
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts'))
import stub_block  # noqa: E402

AREA = stub_block.AREA_SIZE
# The runner's status for a program that cannot run on this machine.

# (bytes written at the start of the PayloadOffset area, at the start of the
#  installer area, offset expected, installer name expected).
# None leaves an area as the untouched stub has it. Bytes past what is
# written keep the old filler, which must not be read.
CASES = [
    (None, None, 594984, b'lvxrun.exe'),
    (b'1234567\0', b'setup.exe\0', 1234567, b'setup.exe'),
    # the longest texts: 24 bytes and the zero
    (b'  +000000000000000000042\0', b'abcdefghijklmnopqrst.exe\0',
     42, b'abcdefghijklmnopqrst.exe'),
    # no zero in either area: each is read to its 25th byte and no further
    # (the digit that follows the offset's area would make it 7779)
    (b'0000000000000000000000777', b'9' + b'x' * 20 + b'.exe',
     777, b'9' + b'x' * 20 + b'.exe'),
    # a negative offset; a Shift-JIS name ("セットアップ.exe")
    (b'-5\0', b'\x83\x5a\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76.exe\0',
     -5, b'\x83\x5a\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76.exe'),
    # no digits; an empty name
    (b'abc\0', b'\0', 0, b''),
]


def run(program, runner):
    command = ([runner] if runner else []) + [program]
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
    values = {}
    for line in done.stdout.decode('latin-1').splitlines():
        key, sep, value = line.strip().partition('=')
        if sep and key in ('offset', 'installer'):
            values[key] = value
    return done.returncode, values, done.stdout


def main(argv):
    if len(argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        return 2
    printer = argv[1]
    runner = os.path.abspath(argv[2]) if len(argv) == 3 else None
    block = stub_block.default_block()
    with open(printer, 'rb') as f:
        original = f.read()
    found = stub_block.find_all(original, block)
    if len(found) != 1:
        print('FAIL: the settings block occurs %d times in %s, not once' % (len(found), printer))
        return 1
    at = found[0]

    failures = 0
    work = tempfile.mkdtemp(prefix='stub-settings-', dir=os.getcwd())
    try:
        for number, (offset_area, installer_area, offset, installer) in enumerate(CASES):
            data = bytearray(original)
            for start, new in ((at, offset_area), (at + AREA, installer_area)):
                if new is not None:
                    assert len(new) <= AREA
                    data[start:start + len(new)] = new
            copy = os.path.join(work, 'case%d%s' % (number, os.path.splitext(printer)[1]))
            with open(copy, 'wb') as f:
                f.write(data)
            shutil.copymode(printer, copy)
            rc, values, output = run(copy, runner)
            expected = {'offset': str(offset), 'installer': installer.hex()}
            if rc != 0 or values != expected:
                failures += 1
                print('FAIL: case %d: exit code %d, read %r, expected %r' % (number, rc, values, expected))
                print(output.decode('latin-1'))
            else:
                print('ok: case %d: offset %d, installer %r' % (number, offset, installer))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
