#!/bin/sh
# Installs everything the program and its checks need, then configures and builds every target
# into one tree: the program, test suites, benchmarks and tools unless the arguments turn them off.
# Usage: scripts/setup.sh [build-dir] [extra cmake arguments...]
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh test

BUILD_DIR="${1:-build}"
[ $# -gt 0 ] && shift
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$BUILD_DIR" -j 2
