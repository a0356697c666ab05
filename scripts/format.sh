#!/bin/sh
# Formats the tracked C++ sources by the repository's .clang-format; with --check, changes nothing
# and fails on the first file that differs.
# Usage: scripts/format.sh [--check]
set -eu
cd "$(dirname "$0")/.."
if [ "${1:-}" = --check ]; then
    git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
else
    git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i
fi
