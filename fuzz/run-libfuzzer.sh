#!/usr/bin/env bash
# Fuzzes the engine's parsers with libFuzzer for a while (default 120 s) and
# merges what it finds into the saved corpus, which every build runs as a test.
#   fuzz/run-libfuzzer.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-120}"
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DKIV_FUZZ=ON -DKIV_WITH_GUI=OFF -DKIV_WITH_BENCH=OFF >/dev/null
cmake --build "$build" --target vbis_fuzz_parsers -j "$(nproc)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$build/bin/vbis_fuzz_parsers" -max_total_time="$seconds" -max_len=4096 \
    -dict=fuzz/parsers.dict "$work" fuzz/corpus/parsers
"$build/bin/vbis_fuzz_parsers" -merge=1 fuzz/corpus/parsers "$work"
