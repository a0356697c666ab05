#!/bin/sh
# Installs the Debian 12 packages Quellix needs that are missing (as root, or through sudo).
# Usage: scripts/deps.sh run|test
#   run   building and running the program
#   test  that, and the test suites (a headless X server), the sanitizer build, the fuzz
#         programs (clang with libFuzzer), the format and tidy checks, the package checks
#         (lintian, the AppStream and desktop-entry validators) and the build on Qt 6
set -eu

# libvlc-bin writes libvlc's plugin cache: without it every start of the player loads all of
# libvlc's plugins, which costs the program a third of a second and 40 MB. qttranslations5-l10n
# puts Qt's own dialogs and buttons into Chinese. The tests run a private dbus-daemon, with logind
# played by python3-dbusmock.
RUN="cmake ninja-build g++ pkg-config ccache qtbase5-dev qtbase5-dev-tools libvlc-dev libvlc-bin
vlc-plugin-base vlc-plugin-video-output libx11-dev ffmpeg fonts-noto-cjk qttranslations5-l10n"
TEST="xvfb xauth procps dbus-daemon clang libclang-rt-14-dev lld clang-format clang-tidy lintian
appstream desktop-file-utils python3-dbusmock"
# The second tree builds on Qt 6 (the X11 platform plugin comes with libqt6gui6).
QT6="qt6-base-dev qt6-base-dev-tools qt6-translations-l10n"

case "${1:-}" in
run) PACKAGES="$RUN" ;;
test) PACKAGES="$RUN $TEST $QT6" ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac

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
