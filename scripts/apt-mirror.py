#!/usr/bin/env python3
"""Prints the mirror this machine's apt takes Debian release CODENAME from,
and the key that signs it: "URI KEYRING" (KEYRING "-" when none is named).

    apt-mirror.py CODENAME

Reads the deb822 files (*.sources) and the one-line lists (sources.list,
*.list) of /etc/apt; the first source of type deb whose suites include
CODENAME itself wins. Exit status 1 when there is none."""
import glob
import re
import sys


def deb822(path):
    text = open(path, encoding="utf-8", errors="replace").read()
    for stanza in re.split(r"\n\s*\n", text):
        fields = {}
        for line in stanza.splitlines():
            if line.startswith("#") or ":" not in line or line[0].isspace():
                continue
            key, value = line.split(":", 1)
            fields[key.strip().lower()] = value.split()
        if fields.get("enabled", ["yes"])[0].lower() == "no":
            continue
        yield fields.get("types", []), fields.get("uris", []), fields.get("suites", []), \
            (fields.get("signed-by") or ["-"])[0]


def one_line(path):
    for line in open(path, encoding="utf-8", errors="replace"):
        line = line.split("#", 1)[0].strip()
        match = re.match(r"(deb|deb-src)\s+(?:\[([^\]]*)\]\s+)?(\S+)\s+(\S+)", line)
        if not match:
            continue
        options = dict(o.split("=", 1) for o in (match.group(2) or "").split() if "=" in o)
        yield [match.group(1)], [match.group(3)], [match.group(4)], options.get("signed-by", "-")


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: apt-mirror.py CODENAME")
    codename = sys.argv[1]
    sources = []
    for path in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.list")):
        try:
            sources += list(one_line(path))
        except OSError:
            pass
    for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
        sources += list(deb822(path))
    for types, uris, suites, keyring in sources:
        if "deb" in types and codename in suites and uris:
            print(uris[0], keyring)
            return
    sys.exit(1)


if __name__ == "__main__":
    main()
