#!/usr/bin/env bash
# Builds the program and starts it with the simulated instrument on USB, so the read-out fills the
# table without hardware. The program is the same binary that loads the real libusb; only the
# loader path puts the simulator's stand-in library first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh run
cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVYZ_BUILD_TESTS=OFF -DVYZ_BUILD_BENCH=OFF
cmake --build build/demo -j"$(nproc)"
exec build/demo/bin/vyz "$@"
