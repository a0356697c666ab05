#!/bin/sh
# Sets up, builds and starts Quellix.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh build
exec build/quellix "$@"
