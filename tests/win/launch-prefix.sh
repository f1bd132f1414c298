#!/usr/bin/env bash
# Prepares the Wine prefix ($WINEPREFIX) that the launch and restart tests
# run in: each test program gets the Windows version it needs, by name, and
# the relay trace is limited to the calls that the restart scenario watches.
# Idempotent; the first run makes the prefix.
#
#   launch-prefix.sh WINE_RUN [PROGRAM.exe VERSION]...
set -euo pipefail
wine_run=$1
shift
: "${WINEPREFIX:?the prefix to prepare}"

reg_add() {
  "$wine_run" reg add "$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null 2>&1 ||
    { echo "launch-prefix: cannot set $1\\$2" >&2; exit 1; }
}

while (($# >= 2)); do
  reg_add "HKCU\\Software\\Wine\\AppDefaults\\$1" Version "$2"
  shift 2
done
reg_add 'HKCU\Software\Wine\Debug' RelayInclude \
  'user32.ExitWindowsEx;advapi32.AdjustTokenPrivileges;kernel32.Sleep;kernel32.RemoveDirectoryA'
echo "launch-prefix: ready: $WINEPREFIX"
