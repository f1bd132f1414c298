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

settings=$(mktemp --suffix=.reg)
trap 'rm -f "$settings"' EXIT
{
  echo 'REGEDIT4'
  while (($# >= 2)); do
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s]\r\n"Version"="%s"\r\n' "$1" "$2"
    shift 2
  done
  printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Debug]\r\n'
  printf '"RelayInclude"="user32.ExitWindowsEx;advapi32.AdjustTokenPrivileges;kernel32.Sleep;user32.MsgWaitForMultipleObjects;kernel32.RemoveDirectoryA"\r\n'
} >"$settings"

# regedit reads the file through Z:, the Linux root.
"$wine_run" regedit /S "Z:${settings//\//\\}" >/dev/null 2>&1 ||
  { echo "launch-prefix: regedit failed" >&2; exit 1; }
"$wine_run" reg query 'HKCU\Software\Wine\Debug' /v RelayInclude >/dev/null 2>&1 ||
  { echo "launch-prefix: the settings did not arrive" >&2; exit 1; }
echo "launch-prefix: ready: $WINEPREFIX"
