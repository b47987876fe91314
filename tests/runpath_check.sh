#!/usr/bin/env bash
# Every ELF file of the build tree and of an installation made from it may carry only
# absolute run-path entries or ones that start at $ORIGIN: an empty or relative entry is
# searched from the current folder, where anyone can leave a library.
#   runpath_check.sh build-dir
set -euo pipefail
build="$1"
work="$(mktemp -d "${TMPDIR:-/tmp}/runpaths.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null

bad=0 checked=0
check() {
    local file="$1" entries entry
    [[ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" == '177ELF' ]] || return 0
    checked=$((checked + 1))
    entries="$(readelf -d "$file" 2>/dev/null | sed -n 's/.*(\(RPATH\|RUNPATH\)).*\[\(.*\)\]$/\2/p')"
    [[ -n "$entries" ]] || return 0
    # A leading, trailing or doubled ':' is an empty entry.
    if [[ "$entries" == :* || "$entries" == *: || "$entries" == *::* ]]; then
        echo "empty run-path entry in $file: [$entries]"
        bad=1
    fi
    IFS=: read -ra parts <<<"$entries"
    for entry in "${parts[@]}"; do
        case "$entry" in
            '' | /* | '$ORIGIN' | '$ORIGIN'/*) ;;
            *) echo "relative run-path entry in $file: [$entries]"; bad=1 ;;
        esac
    done
}
while IFS= read -r -d '' file; do check "$file"; done \
    < <(find "$build/bin" "$work/prefix" -type f -print0)
echo "$checked ELF files checked"
((checked > 0)) || { echo "no ELF file found"; exit 1; }
exit "$bad"
