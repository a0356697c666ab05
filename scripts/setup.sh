#!/bin/sh
# Installs everything the program and its checks need, then configures and builds every target
# into one tree: the program, test suites, benchmarks and tools unless the arguments turn them off.
# Usage: scripts/setup.sh [build-dir] [extra cmake arguments...]
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh test

BUILD_DIR="${1:-build}"
[ $# -gt 0 ] && shift
# Line tables are all a backtrace or a sanitizer report needs; full debug info costs a fifth more
# compile time.
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "$@" >/dev/null
cmake --build "$BUILD_DIR" -j 2
