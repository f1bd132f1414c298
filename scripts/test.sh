#!/usr/bin/env bash
# Runs every test: set-up, then each build with its tests, then the release.
#   scripts/test.sh [PRESET...]     default: host host-asan win32 win64 release
# A test that CTest reports as skipped or not run fails the run: on the
# Windows presets that would be a program that could not run under Wine,
# the product's tests among them. "release" is no preset: it makes the
# release archives and tests them as their users would (scripts/release.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

presets=("$@")
((${#presets[@]})) || presets=(host host-asan win32 win64 release)

stop_wine() {
  local p
  for p in win32 win64; do
    [[ -d build/$p ]] && QM_BUILD_DIR=$PWD/build/$p scripts/wine-run --stop
  done
  return 0
}
trap stop_wine EXIT

for p in "${presets[@]}"; do
  start=$SECONDS
  if [[ $p == release ]]; then
    QM_SETUP_DONE=1 bash scripts/release.sh
    continue
  fi
  echo "=== $p: configure and build"
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p"
  built=$SECONDS
  echo "=== $p: test"
  log=build/$p/ctest.log
  ctest --preset "$p" --no-tests=error 2>&1 | tee "$log"
  if grep -q '^The following tests did not run:' "$log"; then
    echo "=== $p: FAILED: tests were skipped or not run (listed above)"
    exit 1
  fi
  echo "=== $p: built in $((built - start)) s, tested in $((SECONDS - built)) s"
done
