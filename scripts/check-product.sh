#!/usr/bin/env bash
# Checks the built 32-bit stub: PE32 for i386, GUI subsystem, only the ANSI
# forms of Windows functions among its imports, and prints its size.
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
size=$(stat -c %s "$exe")
echo "stub: $(basename "$exe"): PE32 i386 GUI, imports from: $dlls"
awk -v s="$size" 'BEGIN { printf "stub size: %d bytes (%.1f KiB)\n", s, s / 1024 }'
exit $fail
