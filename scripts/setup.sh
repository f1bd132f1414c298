#!/usr/bin/env bash
# Installs, from Debian's packages, everything that building and testing need.
# Idempotent: a quick no-op when all is there. The 32-bit Wine (wine32:i386,
# beside wine64) runs the product, a 32-bit program: natively where the
# kernel runs i386 code, else under qemu-user (scripts/setup-i386.sh); the
# last line says which. Fails when 32-bit programs cannot run at all.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake make g++ python3 file
  clang libclang-rt-14-dev            # host sanitizers and libFuzzer
  googletest                           # sources, built for each target
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  libz-mingw-w64-dev zlib1g-dev
  libdeflate-dev                       # the whole-buffer decoder that bench_streams compares with
  wine wine64 wine32:i386 xvfb x11-utils xauth locales
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

sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
# wine32:i386 (in the list) needs the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# How the product, a 32-bit program, runs here: natively, or under qemu-user
# where the kernel runs no i386 code (which that script sets up).
bash scripts/setup-i386.sh
