#!/bin/sh
# Sets up, builds with warnings as errors and runs the whole test suite headless.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh build-test -DQUELLIX_WERROR=ON
cd build-test
exec xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure -j 1
