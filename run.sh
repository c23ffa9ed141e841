#!/usr/bin/env bash
# Sets up, builds and starts Kiv.
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup.sh
cmake -S . -B build
cmake --build build -j "$(nproc)" --target kiv
exec build/bin/kiv "$@"
