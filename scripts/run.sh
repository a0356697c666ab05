#!/bin/sh
# Installs what the program needs, builds the program alone into build/ and starts it through its
# launcher: it runs in the per-user folder ($XDG_CONFIG_HOME/quellix or ~/.config/quellix) where
# it keeps its settings.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUELLIX_BUILD_TESTS=OFF -DQUELLIX_BUILD_BENCH=OFF >/dev/null
cmake --build build --target quellix -j 2
QUELLIX_PROGRAM="$(pwd)/build/quellix" exec build/quellix-launcher "$@"
