#!/usr/bin/env bash
# DVI-to-wave conversion of a 1 GiB recording against cp of the same file, in
# the same run, both reading from a warm page cache and neither syncing.
# Prints the best of a few rounds for each, the throughput ratio and the
# largest resident set of each process (flat memory: a 64 MiB recording is
# converted too, for comparison).
#   run.sh BUILD_DIR        DVI_BENCH_BYTES / DVI_BENCH_ROUNDS override size and rounds
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
bench="$build/bin/dvi_bench"
size=${DVI_BENCH_BYTES:-1073741824}
rounds=${DVI_BENCH_ROUNDS:-3}
[[ -x "$bench" ]] || cmake --build "$build" --target dvi_bench >/dev/null
timer=/usr/bin/time
[[ -x "$timer" ]] || { echo "dvi: $timer missing (package time)" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/dvi-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
src="$work/rec.dvi"
"$bench" make "$src" "$size"
"$bench" make "$work/small.dvi" $((64 << 20))
cat "$src" >/dev/null

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
# run COMMAND...: prints "seconds maxrss_kib"
run() {
    rm -f "$work/copy" "$src.WAV" "$src.TMP"
    sync
    local t0 t1
    t0=$(now)
    "$timer" -f "%M" -o "$work/rss" "$@" >/dev/null
    t1=$(now)
    echo "$(calc "$t1 - $t0") $(tail -n1 "$work/rss")"
}

best_cp=999999 best_cv=999999 rss_cp=0 rss_cv=0
for ((i = 1; i <= rounds; i++)); do
    read -r s m < <(run cp "$src" "$work/copy")
    echo "round $i: cp      ${s}s  ${m} KiB"
    (($(calc "$s < $best_cp"))) && best_cp=$s
    ((m > rss_cp)) && rss_cp=$m
    read -r s m < <(run "$bench" convert "$src")
    echo "round $i: convert ${s}s  ${m} KiB"
    (($(calc "$s < $best_cv"))) && best_cv=$s
    ((m > rss_cv)) && rss_cv=$m
done
rm -f "$work/small.dvi.WAV"
"$timer" -f "%M" -o "$work/rss" "$bench" convert "$work/small.dvi" >/dev/null
rss_small=$(tail -n1 "$work/rss")

mib=$(calc "$size / 1048576")
printf 'bytes            %d\n' "$size"
printf 'cp               %.3f s  %.0f MiB/s  max RSS %d KiB\n' "$best_cp" "$(calc "$mib / $best_cp")" "$rss_cp"
printf 'convert          %.3f s  %.0f MiB/s  max RSS %d KiB (64 MiB source: %d KiB)\n' \
    "$best_cv" "$(calc "$mib / $best_cv")" "$rss_cv" "$rss_small"
printf 'throughput ratio %.2f (convert / cp, aim >= 0.80)\n' "$(calc "$best_cp / $best_cv")"
