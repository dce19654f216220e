#!/usr/bin/env bash
# Installs the Debian packages, builds, and runs every test through CTest.
# GUI code is tested headless (offscreen Qt platform).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j2 --timeout 600
