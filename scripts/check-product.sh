#!/usr/bin/env bash
# Checks the built 32-bit stub: PE32 for i386, GUI subsystem, only the ANSI
# forms of Windows functions among its imports, kernel32 and the C runtime
# alone imported at load time, only known DLLs (never version.dll) loaded
# on first use, and prints its size.
set -uo pipefail
exe=${1:?usage: check-product.sh STUB.exe}
objdump=i686-w64-mingw32-objdump
fail=0
headers=$($objdump -f -p "$exe") || { echo "FAIL: objdump cannot read $exe"; exit 1; }

grep -q 'file format pei-i386' <<<"$headers" || { echo "FAIL: not a PE32 i386 image"; fail=1; }
grep -Eq '^Subsystem[[:space:]]+0*2[[:space:]]' <<<"$headers" || { echo "FAIL: not a GUI-subsystem program"; fail=1; }

# Imported names, one per line: "DLL: name".
imports=$(awk '/DLL Name:/ {dll=$3} /^\t[0-9a-f]+ +[0-9]+ +[A-Za-z_]/ && dll {print dll": "$3}' <<<"$headers")
wide=$(grep -E ': [A-Za-z0-9_]+W$' <<<"$imports" | grep -v -E ': (CommandLineToArgvW|GetCommandLineW|__wgetmainargs|_wfopen)$' || true)
if [[ -n $wide ]]; then echo "FAIL: wide-character imports:"; echo "$wide"; fail=1; fi

dlls=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" | sort -u | tr '\n' ' ')
# Load-time imports: a DLL planted beside the program could stand in for
# anything but these two known DLLs before the entry point runs.
for dll in $dlls; do
  case $dll in
    kernel32.dll|msvcrt.dll) ;;
    *) echo "FAIL: $dll is imported at load time (only kernel32.dll and msvcrt.dll may be)"; fail=1 ;;
  esac
done

# Delay-loaded imports: known DLLs only. user32 must be among them (the
# window needs it), or the table was not found at all.
delayed=$(python3 "$(dirname "$0")/delay-imports.py" "$exe") || { echo "FAIL: cannot read the delay imports of $exe"; fail=1; }
delay_dlls=$(awk -F': ' '{print tolower($1)}' <<<"$delayed" | sort -u | tr '\n' ' ')
for dll in $delay_dlls; do
  case $dll in
    advapi32.dll|comdlg32.dll|gdi32.dll|ole32.dll|oleaut32.dll|shell32.dll|shlwapi.dll|user32.dll) ;;
    *) echo "FAIL: $dll is delay-loaded but is not a known DLL"; fail=1 ;;
  esac
done
grep -qw 'user32.dll' <<<"$delay_dlls" || { echo "FAIL: no delay-loaded user32.dll found"; fail=1; }
wide_delayed=$(grep -E ': [A-Za-z0-9_]+W$' <<<"$delayed" || true)
if [[ -n $wide_delayed ]]; then echo "FAIL: wide-character delay imports:"; echo "$wide_delayed"; fail=1; fi
size=$(stat -c %s "$exe")
echo "stub: $(basename "$exe"): PE32 i386 GUI, imports from: $dlls"
echo "stub: loaded on first use: $delay_dlls"
awk -v s="$size" 'BEGIN { printf "stub size: %d bytes (%.1f KiB)\n", s, s / 1024 }'
exit $fail
