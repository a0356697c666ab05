#!/bin/sh
# Runs clang-tidy over the project's own sources in a built tree (its generated form headers must
# exist), two at a time in one queue; fails on any finding. The program's sources get every check
# of .clang-tidy; the suites, benchmarks, tools and fuzz programs those of tests/.clang-tidy.
# In a unity tree (QUELLIX_UNITY, as CI uses) each folder of the program is read once, not once a
# source: a sixth of the time, with the same findings.
# Usage: scripts/tidy.sh [build-dir, default build-test]
set -eu
cd "$(dirname "$0")/.."
BUILD="${1:-build-test}"
# clang cannot read gcc's precompiled headers: the commands it is given leave them out (every
# source includes what it uses itself).
COMMANDS=$(mktemp -d)
trap 'rm -rf "$COMMANDS"' EXIT
sed -e 's| -Winvalid-pch||; s| -include [^ ]*/cmake_pch\.hxx||' "$BUILD/compile_commands.json" \
    >"$COMMANDS/compile_commands.json"
# A unity source is made of #include "x.cpp" lines, which is what bugprone-suspicious-include
# is there to catch anywhere else.
printf 'InheritParentConfig: true\nChecks: -bugprone-suspicious-include\n' >"$BUILD/.clang-tidy"
# Qt 5's QSKIP is a variadic macro called with one argument, which clang's -Wpedantic flags in every
# skipping test (gcc's does not).
run-clang-tidy-14 -quiet -j 2 -p "$COMMANDS" -extra-arg=-Wno-gnu-zero-variadic-macro-arguments \
    "$PWD/(app|batch|convert|gui|params|player|session|ui|tests|bench|tools|fuzz)/[^/]*\.cpp\$" \
    "/Unity/unity_[a-z]+_cxx\.cxx\$"
