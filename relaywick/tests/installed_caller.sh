#!/usr/bin/env bash
# Installs librelaywick into a scratch prefix and builds a C program against it the way a
# caller does: through pkg-config, with nothing from the source tree.
#   installed_caller.sh build-dir c-compiler caller.c [extra compiler flags]
set -euo pipefail
build="$1" cc="$2" source="$3" extra="${4:-}"
work="$(mktemp -d "${TMPDIR:-/tmp}/relaywick-caller.XXXXXX")"
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --component relaywick --prefix "$work/prefix" >/dev/null
pc="$(dirname "$(find "$work/prefix" -name relaywick.pc)")"
export PKG_CONFIG_PATH="$pc"
libdir="$(pkg-config --variable=libdir relaywick)"
# shellcheck disable=SC2046,SC2086
"$cc" -std=c11 -Wall -Wextra -Werror $extra -o "$work/caller" "$source" \
    $(pkg-config --cflags --libs relaywick) -Wl,-rpath,"$libdir"

mkdir -p "$work/data"
# Port 1 on the loopback: nothing listens there on a build machine.
"$work/caller" "$work/data" 1
