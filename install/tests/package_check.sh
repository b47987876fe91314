#!/usr/bin/env bash
# Builds the Debian packages from the build tree, extracts them into a scratch
# root and runs what they hold from there: the player's --version, tolvane and
# quillmere on a DSS fixture, and a C caller against librelaywick. Lintian must
# report no errors.
#   package_check.sh source-dir build-dir c-compiler [extra compiler flags]
set -euo pipefail
src="$1" build="$2" cc="$3" extra="${4:-}"
work="$(mktemp -d "${TMPDIR:-/tmp}/velloran-package.XXXXXX")"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack"; }
shopt -s nullglob
debs=("$work/out/"*.deb)
version="$(sed -n 's/^project(Velloran VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")"
for package in velloran librelaywick1 librelaywick-dev; do
    deb="$(printf '%s\n' "${debs[@]}" | grep "/${package}_${version}_" || true)"
    [[ -n "$deb" ]] || fail "no package $package among: ${debs[*]}"
    dpkg-deb -x "$deb" "$work/root"
done
root="$work/root"
field() { dpkg-deb -f "$work/out/$1_${version}_"*.deb "$2"; }

# Dependencies as dpkg-shlibdeps found them.
field velloran Depends | grep -q 'libqt6widgets6' || fail "velloran does not depend on Qt: $(field velloran Depends)"
field velloran Depends | grep -q 'libmpv' || fail "velloran does not depend on libmpv"
field librelaywick1 Depends | grep -q 'libcurl' || fail "librelaywick1 does not depend on libcurl"
field librelaywick-dev Depends | grep -q "librelaywick1 (= $version)" || fail "librelaywick-dev's dependency"

# No RUNPATH leads back into the build: only the programs' own folder.
while IFS= read -r -d '' file; do
    [[ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" == '177ELF' ]] || continue
    paths="$(readelf -d "$file" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p')"
    [[ -z "$paths" || "$paths" == '$ORIGIN' ]] || fail "${file#"$root"} has RUNPATH $paths"
done < <(find "$root" -type f -print0)

grep -qx 'Exec=/usr/lib/velloran/velloran %f' "$root/usr/share/applications/velloran.desktop" ||
    fail "the desktop entry's Exec"
[[ -s "$root/usr/share/mime/packages/velloran.xml" ]] || fail "no MIME types"
[[ -s "$root/usr/share/metainfo/org.example.velloran.Velloran.metainfo.xml" ]] || fail "no metainfo"
for page in velloran tolvane quillmere; do
    [[ -s "$root/usr/share/man/man1/$page.1.gz" || -s "$root/usr/share/man/man1/$page.1" ]] ||
        fail "no man page for $page"
done

# The extracted programs run from the extracted tree.
[[ "$("$root/usr/bin/velloran" --version)" == "velloran $version" ]] || fail "velloran --version"
cp "$src/install/tests/short-sp.dss" "$work/letter.dss"
export VELLORAN_NO_DIALOG=1
"$root/usr/lib/velloran/quillmere" "$work/letter.dss|$work/by-quillmere.wav"
"$root/usr/lib/velloran/tolvane" "$work/letter.dss|$work/by-tolvane.wav"
for wave in by-quillmere by-tolvane; do
    [[ "$(head -c 4 "$work/$wave.wav")" == RIFF && "$(dd if="$work/$wave.wav" bs=1 skip=8 count=4 2>/dev/null)" == WAVE ]] ||
        fail "$wave.wav is not a wave file"
    (($(stat -c %s "$work/$wave.wav") > 44)) || fail "$wave.wav holds no audio"
done
"$src/relaywick/tests/installed_caller.sh" --installed "$root/usr" "$cc" \
    "$src/relaywick/tests/installed_caller.c" "$extra"

# Lintian, errors only; as root it needs to be told that this is fine.
lintian --fail-on error --no-tag-display-limit "${debs[@]}" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log" >&2; fail "lintian"; }
cat "$work/lintian.log"
echo "package: all good"
