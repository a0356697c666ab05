#!/bin/sh
# Builds the fuzz programs with clang into build-fuzz and runs each for the given number of seconds
# (default 600) on the committed seeds plus everything earlier runs found. Inputs that break an
# invariant or crash are saved under build-fuzz/fuzz/crashes/.
# Usage: scripts/fuzz.sh [seconds per program]
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh build-fuzz -DCMAKE_CXX_COMPILER=clang++ \
    -DQUELLIX_FUZZ=ON -DQUELLIX_FUZZ_SECONDS="${1:-600}" -DQUELLIX_WERROR=ON \
    -DQUELLIX_BUILD_TESTS=OFF -DQUELLIX_BUILD_BENCH=OFF -DQUELLIX_UNITY=ON
cd build-fuzz
# Each program runs on one core, so two run side by side.
ctest --output-on-failure -j 2
