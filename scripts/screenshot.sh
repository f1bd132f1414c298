#!/usr/bin/env bash
# Takes the pictures shown in the README: the test variant of the stub from
# the win64 build (its busy flow double keeps the progress window up for a
# few seconds; its message flow double shows an error box) on the build's
# Xvfb display and Wine prefix (whose font replacement draws "ＭＳ Ｐゴシック"
# with IPA P Gothic), captured with ImageMagick:
#   docs/progress-window.png      the progress window, Japanese system (code page 932)
#   docs/progress-window-en.png   the same on an English system (code page 1252)
#   docs/error-box-en.png         an error message on the English system
set -euo pipefail
cd "$(dirname "$0")/.."
export QM_BUILD_DIR=$PWD/build/win64
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target stub_testvariant >/dev/null
eval "$(scripts/wine-run --env)"
mkdir -p docs

# shot LOCALE FLOW TITLE FILE: runs the stub in the locale with the flow
# double, waits for the top-level window whose title starts with TITLE and
# captures it.
shot() {
  local locale=$1 flow=$2 title=$3 file=$4 runner window=
  # The message box waits for OK: the time limit ends that run.
  QM_LOCALE=$locale QM_FAKE_FLOW=$flow QM_FAKE_BUSY_MS=5000 QM_TIMEOUT=8 \
    scripts/wine-run build/win64/tests/stub_testvariant.exe >/dev/null 2>&1 &
  runner=$!
  for _ in $(seq 300); do
    window=$(xwininfo -display "$DISPLAY" -root -tree | awk -v t="\"$title" 'index($0, t) {print $1; exit}')
    [[ -n $window ]] && break
    sleep 0.1
  done
  if [[ -z $window ]]; then
    echo "screenshot: the window \"$title\" did not appear ($locale)" >&2
    wait "$runner" || true
    return 1
  fi
  sleep 1 # painted by then
  import -display "$DISPLAY" -window "$window" "$file"
  wait "$runner" || true
  echo "screenshot: $file ($(identify -format '%wx%h' "$file"))"
}

shot ja_JP.UTF-8 busy "セットアップ準備中" docs/progress-window.png
shot en_US.UTF-8 busy "セットアップ準備中" docs/progress-window-en.png
shot en_US.UTF-8 message "エラー" docs/error-box-en.png
