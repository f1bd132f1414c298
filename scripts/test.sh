#!/usr/bin/env bash
# Runs every test: set-up, then each build with its tests.
#   scripts/test.sh [PRESET...]     default: host host-asan win32 win64
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

presets=("$@")
((${#presets[@]})) || presets=(host host-asan win32 win64)

stop_wine() { [[ -d build/win64 ]] && QM_BUILD_DIR=$PWD/build/win64 scripts/wine-run --stop || true; }
trap stop_wine EXIT

for p in "${presets[@]}"; do
  start=$SECONDS
  echo "=== $p: configure and build"
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p"
  built=$SECONDS
  echo "=== $p: test"
  ctest --preset "$p"
  echo "=== $p: built in $((built - start)) s, tested in $((SECONDS - built)) s"
done
