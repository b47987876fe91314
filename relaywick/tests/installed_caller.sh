#!/usr/bin/env bash
# Builds a C program against an installed librelaywick the way a caller does: through
# pkg-config, with nothing from the source tree, and runs it.
#   installed_caller.sh build-dir c-compiler caller.c [extra compiler flags]
#       installs the library from the build tree into a scratch prefix first
#   installed_caller.sh --installed prefix c-compiler caller.c [extra compiler flags]
#       uses a library installed under prefix (an extracted package)
set -euo pipefail
if [[ "$1" == --installed ]]; then
    shift
    prefix="$1"
else
    prefix=""
fi
build="$1" cc="$2" source="$3" extra="${4:-}"
work="$(mktemp -d "${TMPDIR:-/tmp}/relaywick-caller.XXXXXX")"
trap 'rm -rf "$work"' EXIT

if [[ -z "$prefix" ]]; then
    prefix="$work/prefix"
    for component in relaywick relaywick_dev; do
        cmake --install "$build" --component "$component" --prefix "$prefix" >/dev/null
    done
fi
pc="$(dirname "$(find "$prefix" -name relaywick.pc)")"
export PKG_CONFIG_PATH="$pc"
libdir="$(pkg-config --variable=libdir relaywick)"
# shellcheck disable=SC2046,SC2086
"$cc" -std=c11 -Wall -Wextra -Werror $extra -o "$work/caller" "$source" \
    $(pkg-config --cflags --libs relaywick) -Wl,-rpath,"$libdir"

mkdir -p "$work/data"
# Port 1 on the loopback: nothing listens there on a build machine.
"$work/caller" "$work/data" 1
