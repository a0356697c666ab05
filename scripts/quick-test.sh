#!/bin/sh
# The developer's quick check: builds the suites that need no widgets into build-test/ (the tree
# of the full test command, configured the same way) and runs them, through the `check` target.
# Seconds once the tree is built; the full check is scripts/test.sh.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh run
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" -DQUELLIX_WERROR=ON \
    -DQUELLIX_BUILD_BENCH=OFF -DQUELLIX_BUILD_TOOLS=OFF >/dev/null
exec cmake --build build-test --target check -j 2
