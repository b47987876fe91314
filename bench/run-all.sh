#!/usr/bin/env bash
# Runs every benchmark: each bench/<name>/run.sh gets the build folder as its argument.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$(cd "${1:-build}" && pwd)"
status=0
for script in "$here"/*/run.sh; do
    [[ -x "$script" ]] || continue
    echo "== $(basename "$(dirname "$script")")"
    "$script" "$build" || status=1
done
exit $status
