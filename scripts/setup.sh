#!/bin/sh
# Installs what Quellix needs on Debian 12 (as root, or through sudo), then configures and builds.
# Usage: scripts/setup.sh [build-dir] [extra cmake arguments...]
set -eu
cd "$(dirname "$0")/.."

# libvlc-bin writes libvlc's plugin cache: without it every start of the player loads all of
# libvlc's plugins, which costs the program a third of a second and 40 MB. qttranslations5-l10n puts
# Qt's own dialogs and buttons into Chinese. The tests run a private dbus-daemon.
PACKAGES="cmake ninja-build g++ pkg-config ccache qtbase5-dev qtbase5-dev-tools libvlc-dev
libvlc-bin vlc-plugin-base vlc-plugin-video-output libx11-dev ffmpeg xvfb xauth procps
fonts-noto-cjk qttranslations5-l10n dbus-daemon clang libclang-rt-14-dev"

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
fi

BUILD_DIR="${1:-build}"
[ $# -gt 0 ] && shift
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$BUILD_DIR" -j 2
