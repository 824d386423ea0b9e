#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test; installs what it needs first.
# The worker-thread tests run a second time in a ThreadSanitizer build, and the readers of
# untrusted bytes are fuzzed for a bounded time. The main test run comes last, so its summary
# closes the output.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
jobs=$(nproc)

# Includes follow the order of the areas.
bash scripts/check-layers.sh

cmake -S . -B build/ci -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVYZ_WERROR=ON
cmake --build build/ci -j"$jobs"

# The readers of untrusted bytes (a clang build of its own).
bash scripts/fuzz.sh 25

if [ -f scripts/tsan-tests.txt ]; then
    cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVYZ_WERROR=ON -DVYZ_TSAN=ON \
        -DVYZ_BUILD_BENCH=OFF
    mapfile -t tsan_tests < <(grep -v '^#' scripts/tsan-tests.txt | grep .)
    cmake --build build/tsan -j"$jobs" --target "${tsan_tests[@]}"
    regex=$(IFS='|'; echo "^(${tsan_tests[*]})\$")
    (cd build/tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
        ctest --output-on-failure -R "$regex")
fi

(cd build/ci && ctest --output-on-failure -j"$jobs")
