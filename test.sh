#!/usr/bin/env bash
# Sets up, builds and runs every test of Kiv.
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup.sh
cmake -S . -B build -DKIV_WERROR=ON
cmake --build build -j "$(nproc)"
# The windows are tested offscreen with the real widgets.
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$(nproc)" "$@"
