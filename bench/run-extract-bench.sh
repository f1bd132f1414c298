#!/usr/bin/env bash
# Builds the 64-bit Windows bench program and runs the extraction benchmark
# under wine64: ExtractPayload against a baseline that makes the same tree
# the cheapest way (bare zlib, stdio, plain Windows calls) on a payload of
# about 200 MB, in interleaved pairs, and the peak memory for an empty
# payload, 200 MB and 1 GB.
#   bench/run-extract-bench.sh [--size MB] [--big MB] [--runs N] [--keep]
# Everything happens in C:\qmbench of the build tree's Wine prefix and is
# removed afterwards (the payloads are kept with --keep, and used again).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target bench_extract
export QM_BUILD_DIR=$PWD/build/win64
# Making the 1 GB payload alone takes minutes.
export QM_TIMEOUT=${QM_TIMEOUT:-3600}
trap 'scripts/wine-run --stop' EXIT
scripts/wine-run "$PWD/build/win64/bench/bench_extract.exe" "$@"
