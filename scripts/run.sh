#!/bin/sh
# Installs what the program needs, builds the program alone into build/ and starts it.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUELLIX_BUILD_TESTS=OFF -DQUELLIX_BUILD_BENCH=OFF >/dev/null
cmake --build build --target quellix -j 2
exec build/quellix "$@"
