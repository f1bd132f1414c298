#!/usr/bin/env bash
# Checks a built stub: PE32 for i386 (the product; PE32+ for x86-64 with
# --twin), GUI subsystem, only the ANSI forms of Windows functions among its
# imports but for the few wide ones that show its texts where the ANSI
# code page is not 932 (allowed_wide below) and, bound after start-up only,
# the wide forms of the kernel32 path functions (allowed_paths), the stub
# settings block
# exactly once (a builder must find one place to patch), kernel32 and the C runtime alone imported at load time,
# only known DLLs (never version.dll) bound after start-up, and every late
# import reachable (no address-table entry that points nowhere); prints its
# imports and size.
#   check-product.sh STUB.exe [--twin]
set -uo pipefail
exe=${1:?usage: check-product.sh STUB.exe [--twin]}
root=$(cd "$(dirname "$0")/.." && pwd)
if [[ ${2:-} == --twin ]]; then
  objdump=x86_64-w64-mingw32-objdump format=pei-x86-64 kind="PE32+ x86-64"
else
  objdump=i686-w64-mingw32-objdump format=pei-i386 kind="PE32 i386"
fi
fail=0
headers=$($objdump -f -p "$exe") || { echo "FAIL: objdump cannot read $exe"; exit 1; }

grep -q "file format $format\$" <<<"$headers" || { echo "FAIL: not a $kind image"; fail=1; }
grep -Eq '^Subsystem[[:space:]]+0*2[[:space:]]' <<<"$headers" || { echo "FAIL: not a GUI-subsystem program"; fail=1; }

# Imported names, one per line: "dll: name" ("dll: #ordinal" for imports by
# number). objdump lists them under "DLL Name:" as
#   <TAB>hint-rva<TAB>  hint  name
# and ends each DLL's list with an empty line.
imports=$(awk '
  /^\tDLL Name:/ { dll = tolower($3); next }
  /^[[:space:]]*$/ { dll = ""; next }
  dll != "" && $1 ~ /^[0-9a-fA-F]+$/ && $2 ~ /^[0-9]+$/ {
    print dll ": " (NF >= 3 ? $3 : "#" $2)
  }' <<<"$headers")
if [[ -z $imports ]]; then echo "FAIL: no imports found (cannot parse objdump's import table)"; fail=1; fi

# Wide-character forms end in a capital W. The stub shows its Japanese
# texts with a few user32 and gdi32 ones where the system's ANSI code page
# is not 932 (launcher/UserText.cpp and the progress window): the wide
# functions of the late-import list in launcher/LateImports.cpp, read from
# there. No other wide function may be imported, at load time or later.
allowed_wide=$(python3 "$root/scripts/late-imports.py" --list "$root/launcher/LateImports.cpp" |
               grep -E ': [A-Za-z0-9_]+W$' | sed 's/\./\\./g' | paste -sd '|')
[[ -n $allowed_wide ]] || { echo "FAIL: no wide functions found in launcher/LateImports.cpp"; exit 1; }
not_allowed() { grep -E ': [A-Za-z0-9_]+W$' | grep -v -E "^($allowed_wide)\$" || true; }
wide=$(not_allowed <<<"$imports")
# After start-up the stub also looks up the kernel32 functions that take a
# path by name, in their wide forms where the ANSI code page would garble
# its paths (support/SystemPath.h): those of support/PathFunctionNames.h,
# read from there, and only as late imports.
allowed_paths=$(python3 "$root/scripts/late-imports.py" --paths | grep -E 'W$' | sed 's/\./\\./g' | paste -sd '|')
[[ -n $allowed_paths ]] || { echo "FAIL: no path functions found in support/PathFunctionNames.h"; exit 1; }
not_allowed_late() { not_allowed | grep -v -E "^($allowed_paths)\$" || true; }
if [[ -n $wide ]]; then echo "FAIL: wide-character imports:"; echo "$wide"; fail=1; fi

# The stub settings block: a builder patches the one place where it occurs.
count=$(python3 "$root/scripts/stub_block.py" count "$exe") || { echo "FAIL: cannot search for the settings block"; fail=1; count=; }
if [[ -n $count && $count != 1 ]]; then echo "FAIL: the stub settings block occurs $count times, not once"; fail=1; fi

dlls=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" | sort -u | tr '\n' ' ')
# Load-time imports: a DLL planted beside the program could stand in for
# anything but these two known DLLs before the entry point runs.
for dll in $dlls; do
  case $dll in
    kernel32.dll|msvcrt.dll) ;;
    *) echo "FAIL: $dll is imported at load time (only kernel32.dll and msvcrt.dll may be)"; fail=1 ;;
  esac
done

# Imports bound after start-up: known DLLs only, each one reachable (an
# address-table entry that points at no code is a call to address 0).
# user32 must be among them (the window needs it), or the table was not
# found at all.
late=$(python3 "$root/scripts/late-imports.py" "$exe")
case $? in
  0) ;;
  1) grep '^FAIL' <<<"$late"; late=$(grep -v '^FAIL' <<<"$late"); fail=1 ;;
  *) echo "FAIL: cannot read the late imports of $exe"; fail=1 ;;
esac
late_dlls=$(awk -F': ' 'NF { print tolower($1) }' <<<"$late" | sort -u | tr '\n' ' ')
for dll in $late_dlls; do
  case $dll in
    advapi32.dll|comdlg32.dll|gdi32.dll|kernel32.dll|ole32.dll|oleaut32.dll|shell32.dll|shlwapi.dll|user32.dll) ;;
    *) echo "FAIL: $dll is bound late but is not a known DLL"; fail=1 ;;
  esac
done
grep -qw 'user32.dll' <<<"$late_dlls" || { echo "FAIL: no late-bound user32.dll found"; fail=1; }
wide_late=$(not_allowed_late <<<"$late")
if [[ -n $wide_late ]]; then echo "FAIL: wide-character late imports:"; echo "$wide_late"; fail=1; fi
size=$(stat -c %s "$exe")
echo "stub: $(basename "$exe"): $kind GUI, settings block found ${count:-?} time(s), imports from: $dlls"
awk -F': ' '{ names[$1] = names[$1] " " $2 } END { for (d in names) print "  " d ":" names[d] }' <<<"$imports" | sort
echo "stub: bound after start-up: $late_dlls"
# The size budget is a figure to read, not a test: 48 KiB, aiming at 40.
awk -v s="$size" 'BEGIN { printf "stub size: %d bytes (%.1f KiB; budget 49152 bytes, aim 40960)\n", s, s / 1024 }'
exit $fail
