#!/usr/bin/env bash
# Makes the release archives from this checkout and tests them as a user
# would use them (scripts/release-check.sh):
#
#   bash scripts/release.sh
#
# writes, in build/release/,
#   quillimark-VERSION-linux-x86_64.tar.gz   qm-build for Linux x86-64
#   quillimark-VERSION-windows.zip           qm-build.exe for Windows
# each holding the stub, the manual page, the file format, the CMake package,
# the licence and the notices, laid out as "cmake --install" lays them out
# (bin/, share/, lib/), under a folder of the archive's name. VERSION is the
# project's (project(... VERSION ...) in CMakeLists.txt), which qm-build
# --version shows.
#
# Two build trees of their own, without tests: build/release/windows (the
# product stub, qm-build.exe for 32-bit Windows, which runs on 64-bit
# Windows too, linked statically; the sample installer program for the
# check) and build/release/linux (qm-build with the C++ library and zlib
# linked in, so that it needs only the C library). Both archives hold the
# one stub the Windows tree made. The archives' times are the last commit's
# (or SOURCE_DATE_EPOCH's): the same checkout gives the same archives.
#
# Sets the machine up first (scripts/setup.sh) unless QM_SETUP_DONE=1 says
# that was done (scripts/test.sh). Prints the archives' sizes and how long
# making and checking them took.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
[[ ${QM_SETUP_DONE:-} == 1 ]] || bash scripts/setup.sh
out=$root/build/release
linux=$out/linux
windows=$out/windows
start=$SECONDS

echo "=== release: build"
# The Linux tree first: its qm-build writes the Windows tree's manual page;
# the stub it installs is the Windows tree's, there by installation time.
cmake -S . -B "$linux" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DZLIB_USE_STATIC_LIBS=ON \
  -DCMAKE_EXE_LINKER_FLAGS_RELEASE="-static-libstdc++ -static-libgcc -s" \
  -DQM_GIVEN_STUB="$windows/launcher/quillimark-stub.exe" >/dev/null
cmake --build "$linux" --target qm-build qm_man_page -j 2
cmake -S . -B "$windows" -G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF -DCMAKE_EXE_LINKER_FLAGS_MINSIZEREL=-s \
  -DQM_GIVEN_BUILDER="$linux/tools/qm-build" >/dev/null
cmake --build "$windows" --target quillimark-stub qm-build qm_man_page lvxrun -j 2
# (Flags of the build type only: the toolchain's own, static linking among
# them, stay.)
version=$("$linux/tools/qm-build" --version)
version=${version#qm-build }
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "release: qm-build --version says '$version'" >&2; exit 1; }

echo "=== release: pack $version"
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
stage=$out/stage
rm -rf "$stage"
linux_name=quillimark-$version-linux-x86_64
windows_name=quillimark-$version-windows
cmake --install "$linux" --prefix "$stage/$linux_name" >/dev/null
cmake --install "$windows" --prefix "$stage/$windows_name" >/dev/null
# The licence and the notices where one looks first, too.
for name in "$linux_name" "$windows_name"; do
  cp LICENSE THIRD-PARTY-NOTICES.txt "$stage/$name/"
done
tar -C "$stage" --sort=name --mtime="@$epoch" --owner=0 --group=0 --numeric-owner -cf - "$linux_name" |
  gzip -9n >"$out/$linux_name.tar.gz"
python3 - "$stage" "$windows_name" "$out/$windows_name.zip" "$epoch" <<'PY'
import os, sys, time, zipfile
stage, name, path, epoch = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip's times start in 1980
files = sorted(os.path.relpath(os.path.join(d, f), stage)
               for d, _, names in os.walk(os.path.join(stage, name)) for f in names)
with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for f in files:
        entry = zipfile.ZipInfo(f.replace(os.sep, "/"), stamp)
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.external_attr = (os.stat(os.path.join(stage, f)).st_mode & 0o777 | 0o100000) << 16
        with open(os.path.join(stage, f), "rb") as data:
            z.writestr(entry, data.read())
PY
made=$SECONDS

echo "=== release: check"
QM_BUILD_DIR=$windows bash scripts/release-check.sh "$out/$linux_name.tar.gz" "$out/$windows_name.zip" \
  "$windows/examples/lvxrun.exe"
for archive in "$out/$linux_name.tar.gz" "$out/$windows_name.zip"; do
  echo "release: $archive: $(stat -c %s "$archive") bytes"
done
echo "release: made in $((made - start)) s, checked in $((SECONDS - made)) s"
