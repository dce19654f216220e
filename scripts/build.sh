#!/usr/bin/env bash
# Configures and builds Zembrix in ./build (two jobs). ZEMBRIX_WERROR=ON makes
# every warning of our own code an error (CI sets it).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/compiler-cache.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEMBRIX_WERROR="${ZEMBRIX_WERROR:-OFF}" \
  "${ZEMBRIX_CACHE_ARGS[@]}"
cmake --build build -j2
