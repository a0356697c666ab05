#!/bin/sh
# Builds the program and its suites on Qt 6 (build-qt6/, warnings as errors, no benchmarks) and
# runs the whole suite there, headless; ends with ctest's summary line.
# Usage: scripts/qt6-test.sh [extra ctest arguments...]
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh build-qt6 -DQUELLIX_QT_MAJOR=6 -DQUELLIX_WERROR=ON -DQUELLIX_BUILD_BENCH=OFF
cd build-qt6
exec xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure -j 1 "$@"
