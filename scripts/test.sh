#!/bin/sh
# Sets up and builds four trees with warnings as errors, then runs the fuzz programs briefly
# (build-fuzz, clang), the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer
# (build-asan), on Qt 6 (build-qt6) and in the plain build (build-test), headless. Stops at the
# first failing stage; ends with ctest's summary line.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh build-test -DQUELLIX_WERROR=ON
scripts/setup.sh build-asan -DQUELLIX_SANITIZE=ON -DQUELLIX_WERROR=ON
scripts/fuzz.sh 20
(cd build-asan && xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure -j 1)
scripts/package-check.sh build-test # the package: lintian, AppStream and menu-entry validators
scripts/qt6-test.sh # the same sources on Qt 6: one plain tree, the whole suite
cd build-test
exec xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure -j 1
