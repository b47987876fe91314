#!/usr/bin/env bash
# Runs one fuzz target for a fixed time on a copy of its seed corpus.
#   run.sh build-dir name seconds
# A crash, a leak, a failed property or a slow input fails the run; the input that did it
# is printed (hex) so that it survives in a CI log, and kept under the build tree.
set -uo pipefail
build="$1" name="$2" seconds="$3"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
target="$build/bin/fuzz_$name"
seeds="$here/corpus/$name"
[[ -x "$target" && -d "$seeds" ]] || { echo "fuzz: no target or corpus for $name" >&2; exit 2; }

work="$build/fuzz-work/$name"
rm -rf "$work" && mkdir -p "$work/corpus" "$work/artifacts" "$work/tmp"
export TMPDIR="$work/tmp"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# New inputs go to the scratch corpus; the checked-in seeds stay as they are.
"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
    "$work/corpus" "$seeds" >"$work/log" 2>&1
status=$?
runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)"
rm -rf "$work/tmp"
if ((status != 0)); then
    tail -n 60 "$work/log"
    for f in "$work/artifacts"/*; do
        [[ -f "$f" ]] || continue
        echo "fuzz: $name: reproducer $(basename "$f") ($(stat -c %s "$f") bytes):"
        od -An -tx1 -v "$f" | head -n 256
    done
    echo "fuzz: $name FAILED after ${runs:-?} runs (log: $work/log)"
    exit 1
fi
echo "fuzz: $name: ${runs:-?} runs in ${seconds} s, no failure"
