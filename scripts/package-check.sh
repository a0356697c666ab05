#!/bin/sh
# Builds the Debian package the README's install section makes and checks it as a packager would:
# lintian with no error and no warning, the AppStream metadata and the menu entry by their
# validators, and the package's version and date the same in the changelog and the metadata.
# Usage: scripts/package-check.sh [build-dir]
#   build-dir  a configured tree to package (default: build-test when it exists, otherwise
#              build-package, configured with the program alone)
set -eu
cd "$(dirname "$0")/.."

BUILD_DIR=${1:-}
if [ -z "$BUILD_DIR" ]; then
    if [ -f build-test/CMakeCache.txt ]; then
        BUILD_DIR=build-test
    else
        BUILD_DIR=build-package
    fi
fi
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUELLIX_BUILD_TESTS=OFF -DQUELLIX_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$BUILD_DIR" --target quellix -j 2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cpack -G DEB --config "$OLDPWD/$BUILD_DIR/CPackConfig.cmake" >/dev/null)
deb=$(ls "$work"/*.deb)
root=$work/root
dpkg-deb -x "$deb" "$root"

failed=0
fail() {
    echo "package-check: $*" >&2
    failed=1
}

echo "== lintian $(basename "$deb")"
lintian --info --display-info --fail-on error,warning "$deb" || fail "lintian reports errors or warnings"

metainfo=$(ls "$root"/usr/share/metainfo/*.metainfo.xml)
echo "== appstreamcli validate $(basename "$metainfo")"
appstreamcli validate --no-net "$metainfo" || fail "the AppStream metadata does not validate"
appstreamcli validate-tree --no-net "$root" || fail "the installed tree does not validate"

for desktop in "$root"/usr/share/applications/*.desktop; do
    echo "== desktop-file-validate $(basename "$desktop")"
    desktop-file-validate "$desktop" || fail "$(basename "$desktop") does not validate"
done

# One version and one date for the release everywhere it is named.
version=$(dpkg-deb -f "$deb" Version)
changelog=$(zcat "$root/usr/share/doc/quellix/changelog.gz")
changelog_version=$(echo "$changelog" | sed -n '1s/^quellix (\([^)]*\)).*/\1/p')
changelog_date=$(date -u -d "$(echo "$changelog" | sed -n 's/^ -- .*>  //p' | head -n 1)" +%F)
release=$(sed -n 's/.*<release version="\([^"]*\)" date="\([^"]*\)".*/\1 \2/p' "$metainfo" | head -n 1)
echo "== release: package $version, changelog $changelog_version of $changelog_date, AppStream $release"
[ "$changelog_version" = "$version" ] || fail "the changelog's newest entry is not version $version"
[ "$release" = "$version $changelog_date" ] ||
    fail "the newest AppStream release is not $version of $changelog_date"

[ "$failed" -eq 0 ] && echo "package-check: $(basename "$deb") passes"
exit "$failed"
