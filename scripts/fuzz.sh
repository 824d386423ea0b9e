#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (a build of their own in build/fuzz) and runs each
# for a bounded time; a crash, a sanitizer report or a failed check ends it with an error and
# leaves the input in build/fuzz/artifacts/.
# Usage: scripts/fuzz.sh [seconds per target]   (default 25)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-25}
cxx=$(command -v clang++-14 || command -v clang++ || true)
if [ -z "$cxx" ]; then
    echo "fuzz.sh: clang++ not found (scripts/deps.sh installs it)" >&2
    exit 1
fi
cmake -S fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build build/fuzz -j"$(nproc)"
mkdir -p build/fuzz/corpus/measurement_file build/fuzz/artifacts
# Long enough for a file beyond a full archive (16 + 2677 x 32 bytes).
build/fuzz/fuzz_measurement_file -max_total_time="$seconds" -max_len=90000 \
    -dict=fuzz/measurement_file.dict -artifact_prefix=build/fuzz/artifacts/ \
    -print_final_stats=1 build/fuzz/corpus/measurement_file fuzz/seeds
