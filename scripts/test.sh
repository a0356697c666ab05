#!/bin/sh
# The complete check, or one stage of it, each tree built with warnings as errors:
#   format  the tracked C++ sources match .clang-format (no build)
#   fuzz    the fuzz programs, 20 seconds each (build-fuzz, clang)
#   asan    the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan)
#   package the Debian package made from build-test: lintian, the AppStream and menu-entry
#           validators
#   tidy    clang-tidy over the sources of build-asan (see scripts/tidy.sh)
#   qt6     the whole suite built on Qt 6 (build-qt6)
#   plain   the whole suite in the plain build (build-test)
#   all     format, fuzz, asan, package, tidy, qt6 and plain in that order (the default, and what CI runs)
# The suites run headless, three at a time: they wait on the transcoder and the X server a fifth of
# the time, so two leave a core idle. The sanitizer and Qt 6 trees, which ship nothing, compile at
# -O1 and the program's libraries a folder at a time; the plain tree, which the package is made
# from, at -O2 and a file at a time (where a missing include shows).
# Stops at the first failing stage; each stage but the last says its time, and the run ends with
# ctest's summary line.
# Usage: scripts/test.sh [plain|asan|fuzz|format|package|tidy|qt6|all]
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh test

# The test trees leave out the benchmarks and tools, which no test runs; bench/run.sh builds its own.
build() { # build directory, extra cmake arguments...
    dir=$1
    shift
    scripts/setup.sh "$dir" -DQUELLIX_WERROR=ON -DQUELLIX_BUILD_BENCH=OFF \
        -DQUELLIX_BUILD_TOOLS=OFF "$@"
}

o1_flags="-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"

suites() { # build directory
    (cd "$1" && xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure -j 3)
}

suite() { # build directory, extra cmake arguments...
    build "$@"
    suites "$1"
}

# -O1, as the sanitizers' authors advise: a quarter less compile time than -O2.
asan_tree() {
    build build-asan -DQUELLIX_SANITIZE=ON -DQUELLIX_UNITY=ON "$o1_flags"
}

stage() {
    started=$(date +%s)
    case "$1" in
    format) scripts/format.sh --check ;;
    fuzz) scripts/fuzz.sh 20 ;;
    asan)
        asan_tree
        suites build-asan
        ;;
    plain) suite build-test ;;
    package)
        build build-test
        scripts/package-check.sh build-test
        ;;
    # On the sanitizer tree, whose folders are compiled whole: clang-tidy reads each once.
    tidy)
        asan_tree
        scripts/tidy.sh build-asan
        ;;
    qt6) suite build-qt6 -DQUELLIX_QT_MAJOR=6 -DQUELLIX_UNITY=ON "$o1_flags" ;;
    *)
        echo "usage: $0 [plain|asan|fuzz|format|package|tidy|qt6|all]" >&2
        exit 2
        ;;
    esac
    [ "$1" = plain ] || echo "stage $1 passed in $(($(date +%s) - started)) s"
}

if [ "${1:-all}" = all ]; then
    for name in format fuzz asan package tidy qt6 plain; do
        stage "$name"
    done
else
    stage "$1"
fi
