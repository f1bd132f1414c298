#!/usr/bin/env bash
# The main job: set up the machine and build the 32-bit stub.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32
bash scripts/check-product.sh build/win32/launcher/quillimark-stub.exe
