#!/usr/bin/env bash
# Tests the release archives as their users would use them.
#
#   release-check.sh LINUX.tar.gz WINDOWS.zip PROGRAM.exe
#
# PROGRAM.exe: the sample installer program (examples/installer), packed as
# the installer's program; it reports what it sees (examples/README.md).
# Each archive is unpacked into a fresh folder: the Linux one in a scratch
# folder, the Windows one on the C: drive of the Wine prefix of the build
# tree that QM_BUILD_DIR names (scripts/wine-run), as a Windows user would.
# Then, for each:
#   - it holds exactly the files a release holds, the licence and notices
#     among them, under a folder of the archive's name;
#   - its qm-build (the Windows one through scripts/wine-run) says the
#     version in the archive's name, needs nothing beyond the system (its
#     imports: the C library; Windows' own DLLs), makes an installer of a
#     small tree without --stub, with the stub beside it, and verifies it;
#   - that installer runs under Wine (the real 32-bit stub), starts the
#     program from its work folder with /quillimarkmode, and removes the
#     work folder.
# And both archives hold the same stub, which passes scripts/check-product.sh.
# One "ok: ..." or "FAIL: ..." line a check; exit 1 when one failed.
set -uo pipefail
[[ $# -eq 3 ]] || { echo "usage: release-check.sh LINUX.tar.gz WINDOWS.zip PROGRAM.exe" >&2; exit 2; }
linux_archive=$1 windows_archive=$2 program=$3
root=$(cd "$(dirname "$0")/.." && pwd)
wine_run=$root/scripts/wine-run
# shellcheck source=scripts/wine-lib.sh
source "$root/scripts/wine-lib.sh"

fail=0
check() { # check DESCRIPTION COMMAND...: false when it failed
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fail=1; return 1; fi
}

why=$("$wine_run" --can-run-32bit) || { echo "FAIL: the installers cannot run: $why"; exit 1; }
prefix=$(qm_wine_value "$wine_run" WINEPREFIX)
[[ -d $prefix/drive_c ]] || { echo "FAIL: no Wine prefix ($prefix)"; exit 1; }
scratch=$(mktemp -d)
drive_folder=qmrelease-$$
drive_dir=$(qm_linux_path "$prefix" "C:\\$drive_folder")
trap 'rm -rf "$scratch" "$drive_dir"; "$wine_run" --stop' EXIT
mkdir -p "$drive_dir"

# The small tree: the sample payload and the program.
tree() {
  mkdir -p "$1"
  cp -r "$root/examples/payload/." "$1/"
  cp "$program" "$1/lvxrun.exe"
}

# The files of a release, below its folder; EXE is ".exe" or empty.
expected() {
  printf '%s\n' LICENSE THIRD-PARTY-NOTICES.txt "bin/qm-build$1" lib/cmake/Quillimark/QuillimarkConfig.cmake \
    share/doc/quillimark/LICENSE share/doc/quillimark/THIRD-PARTY-NOTICES.txt share/doc/quillimark/format.md \
    share/man/man1/qm-build.1 share/quillimark/quillimark-stub.exe | sort
}

# check_archive ARCHIVE DIR EXE: unpacks ARCHIVE into DIR, which must be
# new, and checks its files; sets release to the unpacked folder.
check_archive() {
  local archive=$1 dir=$2 exe=$3 name listed
  name=$(basename "$archive")
  name=${name%.tar.gz}
  name=${name%.zip}
  release=$dir/$name
  mkdir "$dir"
  if [[ $archive == *.zip ]]; then
    python3 -m zipfile -e "$archive" "$dir"
  else
    tar -xzf "$archive" -C "$dir"
  fi
  listed=$(cd "$dir" && find . -type f | sed 's|^\./||' | sort)
  check "$name holds the files of a release" test "$listed" = "$(expected "$exe" | sed "s|^|$name/|")"
  check "$name: the licence is the project's" cmp -s "$release/LICENSE" "$root/LICENSE"
}

# check_version SAID ARCHIVE: qm-build --version against the archive's name.
check_version() {
  local said=${1//$'\r'/} name
  name=$(basename "$2")
  check "qm-build --version says $said, as the archive's name" test "$said" = "qm-build $(sed -E 's/^quillimark-([0-9.]+)-.*/\1/' <<<"$name")"
}

# check_installer NAME FOLDER SETUP: runs SETUP (made by the archive's
# qm-build) from C:\FOLDER of the prefix.
check_installer() {
  echo "--- the installer made by $1's qm-build, under Wine"
  qm_run_installer "$wine_run" "$prefix" "$drive_folder\\$2" "$3"
  qm_check_installer_run "$prefix" lvxrun.exe readme.txt || fail=1
}

# --- Linux
check_archive "$linux_archive" "$scratch/linux" ""
linux_release=$release
tool=$linux_release/bin/qm-build
needed=$(objdump -p "$tool" | awk '$1 == "NEEDED" { print $2 }' | grep -vxE 'libc\.so\.6|libm\.so\.6|ld-linux-x86-64\.so\.2')
check "qm-build needs nothing but the C library" test -z "$needed" || echo "  it needs $needed"
check_version "$("$tool" --version)" "$linux_archive"
tree "$scratch/tree"
stub_size=$(stat -c %s "$linux_release/share/quillimark/quillimark-stub.exe")
(
  cd "$scratch" || exit 1
  "$tool" --source tree --installer lvxrun.exe --output setup.exe && "$tool" --verify setup.exe &&
    "$tool" --list setup.exe | grep -qx "payload offset: $stub_size"
) >"$scratch/linux.log" 2>&1
check "qm-build makes an installer with the stub beside it, and verifies it" test $? -eq 0 ||
  cat "$scratch/linux.log"
check_installer "$(basename "$linux_archive")" linux-run "$scratch/setup.exe"

# --- Windows, on the prefix's C: drive
check_archive "$windows_archive" "$drive_dir/unpacked" .exe
windows_release=$release
windows_tool="C:\\$drive_folder\\unpacked\\$(basename "$windows_release")\\bin\\qm-build.exe"
dlls=$(i686-w64-mingw32-objdump -p "$windows_release/bin/qm-build.exe" | awk '/DLL Name:/ { print tolower($3) }' |
  grep -vxE 'kernel32\.dll|msvcrt\.dll|shell32\.dll|user32\.dll|advapi32\.dll')
check "qm-build.exe needs no DLL beyond Windows' own" test -z "$dlls" || echo "  it needs $dlls"
check_version "$("$wine_run" "$windows_tool" --version)" "$windows_archive"
tree "$drive_dir/tree"
win() { "$wine_run" "$windows_tool" "$@" >>"$scratch/windows.log" 2>&1; }
win --source "C:\\$drive_folder\\tree" --installer lvxrun.exe --output "C:\\$drive_folder\\setup.exe" &&
  win --verify "C:\\$drive_folder\\setup.exe" && win --list "C:\\$drive_folder\\setup.exe" &&
  tr -d '\r' <"$scratch/windows.log" | grep -qx "payload offset: $stub_size"
check "qm-build.exe makes an installer with the stub beside it, and verifies it" test $? -eq 0 ||
  cat "$scratch/windows.log"
check_installer "$(basename "$windows_archive")" windows-run "$drive_dir/setup.exe"

# --- The stub
check "both archives hold the same stub" cmp -s "$linux_release/share/quillimark/quillimark-stub.exe" \
  "$windows_release/share/quillimark/quillimark-stub.exe"
"$root/scripts/check-product.sh" "$linux_release/share/quillimark/quillimark-stub.exe" >"$scratch/product.log" 2>&1
check "the stub is the product ($(grep -o 'stub size: [0-9]* bytes' "$scratch/product.log"))" test $? -eq 0 ||
  cat "$scratch/product.log"
exit $fail
