#!/usr/bin/env bash
# Installs the Debian packages, builds, and starts Zembrix with the given
# arguments. Without a display the program says so and shows the headless
# commands.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
exec ./build/src/zembrix "$@"
