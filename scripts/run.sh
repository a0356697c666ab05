#!/bin/sh
# Sets up, builds and starts Quellix, through its launcher: it runs in the per-user folder
# ($XDG_CONFIG_HOME/quellix or ~/.config/quellix) where it keeps its settings.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh build
QUELLIX_PROGRAM="$(pwd)/build/quellix" exec build/quellix-launcher "$@"
