#!/usr/bin/env bash
# The launcher against the plainest fast program, under Wine: extraction,
# clean-up and start-up for two payload shapes (200 MB in 8 files; 4,000
# files of 1 to 24 KB in 40 folders), and the launcher's peak memory from
# an empty payload to a large one. Builds bench_extract and bench_plain with
# the 64-bit twin (preset win64, run by wine64) and with the 32-bit product
# (preset win32, run as the machine runs 32-bit programs), and prints the
# table of each.
#   bench/run-extract-bench.sh [--runs N] [--big MB] [--keep] [--only win64|win32]
# The payloads are made once, by the first run, in build/bench-payloads (the
# 1 GB one takes a minute or two), shared by both and removed at the end
# unless --keep is given; the trees are made and removed in C:\qmbench of
# each build tree's Wine prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
presets=(win64 win32)
keep=0
args=()
while (($#)); do
  case $1 in
    --only) presets=("$2"); shift 2 ;;
    --keep) keep=1; shift ;;
    *) args+=("$1"); shift ;;
  esac
done
bash scripts/setup.sh
payloads=$PWD/build/bench-payloads
mkdir -p "$payloads"
# Making the 1 GB payload alone takes minutes.
export QM_TIMEOUT=${QM_TIMEOUT:-3600}
for p in "${presets[@]}"; do
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p" --target bench_extract
done
status=0
for p in "${presets[@]}"; do
  if [[ $p == win32 ]]; then
    echo "=== $p: the 32-bit product; 32-bit programs run here $(scripts/wine-run --can-run-32bit)"
  else
    echo "=== $p: the 64-bit twin under wine64"
  fi
  QM_BUILD_DIR=$PWD/build/$p scripts/wine-run "$PWD/build/$p/bench/bench_extract.exe" \
    --payloads "Z:${payloads//\//\\}" --keep "${args[@]}" || status=1
  QM_BUILD_DIR=$PWD/build/$p scripts/wine-run --stop
done
((keep)) || rm -rf "$payloads"
exit $status
