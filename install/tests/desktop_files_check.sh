#!/usr/bin/env bash
# The files that present the player to the desktop: the desktop entry, the
# software centre's entry and the manual pages are valid, and an installation
# into a data folder the desktop reads refreshes its caches, while one into a
# staging folder leaves them alone.
#   desktop_files_check.sh source-dir build-dir
set -euo pipefail
src="$1" build="$2"
work="$(mktemp -d "${TMPDIR:-/tmp}/velloran-desktop.XXXXXX")"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

desktop-file-validate "$src/install/velloran.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$src/install/"*.metainfo.xml >"$work/as.log" 2>&1 ||
    { cat "$work/as.log" >&2; fail "metainfo"; }
grep -q "<release version=\"$(sed -n 's/^project(Velloran VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")\"" \
    "$src/install/"*.metainfo.xml || fail "the metainfo's release is not the project's version"
for page in "$src/install/man/"*.1; do
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
    [[ -z "$warnings" ]] || fail "$page: $warnings"
done

# Into the user's own data folder, as the desktop reads it.
prefix="$work/home/.local"
XDG_DATA_HOME="$prefix/share" HOME="$work/home" \
    cmake --install "$build" --component velloran --prefix "$prefix" >/dev/null
share="$prefix/share"
grep -q "^Exec=$prefix/lib/velloran/velloran %f$" "$share/applications/velloran.desktop" ||
    fail "Exec does not name the installed program"
[[ -x "$prefix/lib/velloran/velloran" ]] || fail "no program where Exec points"
grep -q '^audio/x-dss=.*velloran.desktop' "$share/applications/mimeinfo.cache" ||
    fail "the desktop cache does not offer the player for DSS files"
grep -q '^audio/x-dvi-voice' "$share/mime/types" || fail "the MIME cache lacks the DVI type"
grep -q '^audio/mp4=.*velloran.desktop' "$share/applications/mimeinfo.cache" || fail "M4A not offered"
for id in $(grep -o '^[0-9a-f]\{4\}:[0-9a-f]\{4\}' "$src/install/pedal-models.txt"); do # input and hidraw
    [[ $(grep -c "{idVendor}==\"${id%:*}\", ATTRS{idProduct}==\"${id#*:}\", TAG" "$prefix/lib/udev/rules.d/"*) == 2 ]] || fail "udev: $id"
done
[[ -s "$share/icons/hicolor/icon-theme.cache" ]] || fail "no icon cache"
for size in 16 22 24 32 48 64 128 256; do
    [[ -s "$share/icons/hicolor/${size}x${size}/apps/velloran.png" ]] || fail "no ${size}px icon"
done
[[ -s "$share/icons/hicolor/scalable/apps/velloran.svg" ]] || fail "no scalable icon"

# A staging folder (a package being built) gets no caches.
stage="$work/stage"
DESTDIR="$stage" XDG_DATA_HOME="$prefix/share" HOME="$work/home" \
    cmake --install "$build" --component velloran --prefix /usr >/dev/null
[[ -s "$stage/usr/share/mime/packages/velloran.xml" ]] || fail "nothing staged"
[[ ! -e "$stage/usr/share/mime/mime.cache" && ! -e "$stage/usr/share/applications/mimeinfo.cache" ]] ||
    fail "caches written into a staging folder"
grep -q '^Exec=/usr/lib/velloran/velloran %f$' "$stage/usr/share/applications/velloran.desktop" ||
    fail "a staged entry names the staging folder"
echo "desktop files: all good"
