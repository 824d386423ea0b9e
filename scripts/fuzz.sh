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
corpus=build/fuzz/corpus/measurement_file
mkdir -p "$corpus" build/fuzz/artifacts
# Files one record beyond a full archive, so the capacity limit is reached from the first run.
{ printf 'GLONASS/GPS\0\0\0\0\0'; head -c $((2678 * 32)) /dev/zero; } >"$corpus/seed-full-gps"
head -c $((2678 * 24)) /dev/zero | tr '\0' '\1' >"$corpus/seed-full-plain"
# Long enough for a file beyond a full archive (16 + 2677 x 32 bytes).
build/fuzz/fuzz_measurement_file -max_total_time="$seconds" -max_len=90000 \
    -dict=fuzz/measurement_file.dict -artifact_prefix=build/fuzz/artifacts/ \
    -print_final_stats=1 "$corpus" fuzz/seeds
# The USB exchanges: long enough for an identity, a full archive of 32-byte records and an image.
mkdir -p build/fuzz/corpus/usb_exchange
build/fuzz/fuzz_usb_exchange -max_total_time="$seconds" -max_len=300000 \
    -artifact_prefix=build/fuzz/artifacts/ -print_final_stats=1 build/fuzz/corpus/usb_exchange
# The serial read-out: a control byte a request and up to 27 reply bytes, a few dozen records.
mkdir -p build/fuzz/corpus/serial_readout
build/fuzz/fuzz_serial_readout -max_total_time="$seconds" -max_len=4096 \
    -artifact_prefix=build/fuzz/artifacts/ -print_final_stats=1 build/fuzz/corpus/serial_readout
# The record decoding: a few hundred records an input.
mkdir -p build/fuzz/corpus/record_text
build/fuzz/fuzz_record_text -max_total_time="$seconds" -max_len=8192 \
    -artifact_prefix=build/fuzz/artifacts/ -print_final_stats=1 build/fuzz/corpus/record_text
