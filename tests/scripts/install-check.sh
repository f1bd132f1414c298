#!/usr/bin/env bash
# Installs a build into a scratch prefix and uses it as a release engineer
# would: the layout, qm-build packing with the installed stub when --stub is
# not given, the manual page made from --help, and (Linux builds) a CMake
# project that makes its installer with quillimark_add_installer.
#   install-check.sh BUILD_DIR SCRATCH [--wine]
# --wine: a Windows build, whose qm-build.exe runs through scripts/wine-run
# (a failure where it cannot run).
set -euo pipefail
build=$1 scratch=$2 wine=${3:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$scratch"
mkdir -p "$scratch"
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
ext=
[[ -n $wine ]] && ext=.exe
for f in bin/qm-build$ext share/quillimark/quillimark-stub.exe share/doc/quillimark/format.md \
         share/doc/quillimark/LICENSE share/doc/quillimark/THIRD-PARTY-NOTICES.txt \
         share/man/man1/qm-build.1 lib/cmake/Quillimark/QuillimarkConfig.cmake; do
  [[ -f $prefix/$f ]] || { echo "FAIL: $f is not installed"; exit 1; }
done
man=$prefix/share/man/man1/qm-build.1
grep -q 'qm-build --extract DIR INSTALLER' "$man" ||
  { echo "FAIL: the manual page does not hold qm-build --help"; exit 1; }
# The page names its files relative to qm-build, whatever the prefix was at
# build time: each is there, seen from the installed qm-build's folder.
! grep -q -e "$prefix" -e /usr/local "$man" || { echo "FAIL: the manual page names an absolute prefix"; exit 1; }
named=$(sed -n 's/^\.I //p' "$man")
[[ $(wc -l <<<"$named") -eq 4 ]] || { echo "FAIL: the manual page names these files: $named"; exit 1; }
for f in $named; do
  [[ -f $prefix/bin/$f ]] || { echo "FAIL: the manual page names $f, which is not there from bin/"; exit 1; }
done

tool() { if [[ -n $wine ]]; then "$root/scripts/wine-run" "$prefix/bin/qm-build.exe" "$@"; else "$prefix/bin/qm-build" "$@"; fi; }
cp -r "$root/examples/payload" "$scratch/payload"
printf 'MZ' >"$scratch/payload/lvxrun.exe"
cd "$scratch"
# No --stub: the one installed beside qm-build, whose length is the
# payload offset.
tool -q --source payload --installer lvxrun.exe --output direct.exe
tool --verify direct.exe
stub_size=$(stat -c %s "$prefix/share/quillimark/quillimark-stub.exe")
tool --list direct.exe | tr -d '\r' | grep -qx "payload offset: $stub_size" ||
  { echo "FAIL: direct.exe was not made with the installed stub ($stub_size bytes)"; exit 1; }
echo "ok: installed; qm-build packs with the installed stub"

[[ -n $wine ]] && exit 0
cmake -S "$root/tests/install" -B consumer -DCMAKE_PREFIX_PATH="$prefix" -DQM_PAYLOAD="$scratch/payload" >/dev/null
cmake --build consumer >/dev/null
tool --verify consumer/setup.exe
tool --list consumer/setup.exe | grep -qx "payload offset: $stub_size" ||
  { echo "FAIL: the project's installer was not made with the installed stub"; exit 1; }
[[ $(od -An -tx1 -j "$stub_size" -N2 consumer/setup.exe | tr -d ' ') == 7801 ]] ||
  { echo "FAIL: the project's installer is not stored (LEVEL 0: the zlib header 78 01)"; exit 1; }
# Made again when the payload changes, and only then.
before=$(find consumer/setup.exe -printf '%T@')
cmake --build consumer >/dev/null
[[ $(find consumer/setup.exe -printf '%T@') == "$before" ]] ||
  { echo "FAIL: setup.exe was made again with nothing changed"; exit 1; }
sleep 1
printf 'changed\n' >>"$scratch/payload/readme.txt"
cmake --build consumer >/dev/null
tool --list consumer/setup.exe | grep -Eq '^F +42 .*  readme\.txt$' ||
  { echo "FAIL: setup.exe was not made again after the payload changed"; tool --list consumer/setup.exe; exit 1; }
echo "ok: a CMake project makes its installer with quillimark_add_installer"
