#!/usr/bin/env bash
# The library exports exactly its seven functions and nothing else.
set -euo pipefail
lib="$1"
expected="AddUploadVariables Init LoadZipLib SendHttpRequest UnLoadZipLib UnZip Zip"
actual="$(nm -D --defined-only "$lib" | awk '{print $3}' | sort | tr '\n' ' ' | sed 's/ $//')"
if [[ "$actual" != "$expected" ]]; then
    echo "exported: $actual"
    echo "expected: $expected"
    exit 1
fi
# And they are functions.
[[ "$(nm -D --defined-only "$lib" | awk '$2 != "T"' | wc -l)" == 0 ]]
echo "exports ok"
