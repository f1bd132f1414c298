#!/usr/bin/env bash
# Prepares the Wine prefix ($WINEPREFIX) in which the user's application-data
# folder lies in a profile whose name neither code page 932 nor code page
# 1252 can hold (Hangul and an accented letter): the launcher must take it
# as a wide path. The shell folders are changed, and the Wine session is
# ended so that the next program sees them. Idempotent; the first run makes
# the prefix.
#
#   profile-prefix.sh WINE_RUN
set -euo pipefail
wine_run=$1
: "${WINEPREFIX:?the prefix to prepare}"

name='사용자é'
folder="C:\\users\\$name\\AppData\\Roaming"
keys='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer'
"$wine_run" reg add "$keys\\User Shell Folders" /v AppData /t REG_EXPAND_SZ /d "$folder" /f >/dev/null 2>&1 &&
  "$wine_run" reg add "$keys\\Shell Folders" /v AppData /t REG_SZ /d "$folder" /f >/dev/null 2>&1 ||
  { echo "profile-prefix: reg add failed" >&2; exit 1; }
mkdir -p "$WINEPREFIX/drive_c/users/$name/AppData/Roaming"
# Only this prefix's session ends (not the display that other tests share):
# the next program starts a new one, which reads the shell folders again.
source "$(dirname "$wine_run")/wine-lib.sh"
"$QM_WINESERVER" -k >/dev/null 2>&1 || true
"$QM_WINESERVER" -w >/dev/null 2>&1 || true
echo "profile-prefix: ready: $WINEPREFIX ($folder)"
