#!/bin/sh
# Runs clang-tidy by .clang-tidy over the project's own sources in a built tree (its generated
# form headers must exist), two at a time; fails on any finding.
# Usage: scripts/tidy.sh [build-dir, default build-test]
set -eu
cd "$(dirname "$0")/.."
BUILD="${1:-build-test}"
# Qt 5's QSKIP is a variadic macro called with one argument, which clang's -Wpedantic flags in every
# skipping test (gcc's does not).
exec run-clang-tidy-14 -quiet -j 2 -p "$BUILD" -extra-arg=-Wno-gnu-zero-variadic-macro-arguments \
    "$PWD/(app|batch|convert|gui|params|player|session|ui|tests|bench|tools|fuzz)/[^/]*\.cpp\$"
