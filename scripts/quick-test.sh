#!/bin/sh
# The developer's quick check: builds the suites that need no widgets into build-test/ (the tree
# of the full test command) and runs them. Seconds once the tree is built; the full check is
# scripts/test.sh.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh run
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUELLIX_WERROR=ON >/dev/null
cmake --build build-test --target quellix_core_tests -j 2
cd build-test
exec ctest -L core --output-on-failure -j 1
