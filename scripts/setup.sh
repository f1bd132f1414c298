#!/usr/bin/env bash
# Installs, from Debian's packages, everything that building and testing need.
# Idempotent: a quick no-op when all is there. Installs no i386 packages.
set -euo pipefail

packages=(
  cmake make g++ python3 file
  clang libclang-rt-14-dev            # host sanitizers and libFuzzer
  googletest                           # sources, built for each target
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  libz-mingw-w64-dev zlib1g-dev
  wine wine64 xvfb x11-utils xauth locales
  imagemagick                          # the screenshot of the progress window
  fonts-ipafont-gothic                 # a Japanese font for the screenshot
  osslsigncode openssl                 # signing the finished installer
)

missing=()
for p in "${packages[@]}"; do
  [[ $p == \#* ]] && continue
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
