#!/usr/bin/env bash
# Takes the picture of the progress window shown in the README,
# docs/progress-window.png: the test variant of the stub from the win64
# build (its busy flow double keeps the window up for a few seconds) on the
# build's Xvfb display and Wine prefix (whose font replacement draws
# "ＭＳ Ｐゴシック" with IPA P Gothic), captured with ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/.."
export QM_BUILD_DIR=$PWD/build/win64
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target stub_testvariant >/dev/null
eval "$(scripts/wine-run --env)"

QM_FAKE_FLOW=busy QM_FAKE_BUSY_MS=5000 QM_TIMEOUT=60 \
  scripts/wine-run build/win64/tests/stub_testvariant.exe &
runner=$!
window=
for _ in $(seq 300); do
  window=$(xwininfo -display "$DISPLAY" -root -tree | awk '/"セットアップ準備中/ {print $1; exit}')
  [[ -n $window ]] && break
  sleep 0.1
done
if [[ -z $window ]]; then
  echo "screenshot: the progress window did not appear" >&2
  wait "$runner" || true
  exit 1
fi
sleep 1 # painted by then
mkdir -p docs
import -display "$DISPLAY" -window "$window" docs/progress-window.png
wait "$runner"
echo "screenshot: docs/progress-window.png ($(identify -format '%wx%h' docs/progress-window.png))"
