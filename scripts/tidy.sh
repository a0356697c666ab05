#!/bin/sh
# Runs clang-tidy by .clang-tidy over the project's own sources in a built tree (its generated
# form headers must exist), two at a time; fails on any finding.
# Usage: scripts/tidy.sh [build-dir, default build-test]
set -eu
cd "$(dirname "$0")/.."
BUILD="${1:-build-test}"
exec run-clang-tidy-14 -quiet -j 2 -p "$BUILD" \
    "$PWD/(app|convert|params|player|ui|tests|bench|tools|fuzz)/[^/]*\.cpp\$"
