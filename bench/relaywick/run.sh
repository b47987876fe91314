#!/usr/bin/env bash
# Download and upload of a 1 GiB file over loopback through librelaywick, against the
# curl command line in the same run and against the same server. Prints the best of a few
# rounds for each, the throughput ratios and the largest resident set of each client.
#   run.sh BUILD_DIR        RW_BENCH_BYTES / RW_BENCH_ROUNDS override size and rounds
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../loopback.sh"
build="$(cd "${1:-build}" && pwd)"
size=${RW_BENCH_BYTES:-1073741824}
rounds=${RW_BENCH_ROUNDS:-3}
server="$build/bin/relaywick_bench_server"
client="$build/bin/relaywick_bench_client"
[[ -x "$server" && -x "$client" ]] ||
    cmake --build "$build" --target relaywick_bench_server relaywick_bench_client >/dev/null
timer=/usr/bin/time
[[ -x "$timer" ]] || { echo "relaywick: $timer missing (package time)" >&2; exit 1; }
command -v curl >/dev/null || { echo "relaywick: curl missing (package curl)" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/relaywick-bench.XXXXXX")"
trap 'loopback_stop; rm -rf "$work"' EXIT
src="$work/source.bin"
head -c "$size" /dev/urandom >"$src"

loopback_start "$work" "$server" "$src"
base="$loopback_url"

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
# run COMMAND...: prints "seconds maxrss_kib"
run() {
    rm -f "$work/copy"
    local t0 t1
    t0=$(now)
    "$timer" -f "%M" -o "$work/rss" "$@" >"$work/out"
    t1=$(now)
    echo "$(calc "$t1 - $t0") $(tail -n1 "$work/rss")"
}
check_copy() { cmp -s "$src" "$work/copy" || { echo "download differs from the source" >&2; exit 1; }; }

declare -A best rss
for k in curl_get rw_get curl_post rw_post; do best[$k]=999999; rss[$k]=0; done
note() { # key seconds rss
    (($(calc "$2 < ${best[$1]}"))) && best[$1]=$2
    (($3 > ${rss[$1]})) && rss[$1]=$3
    printf 'round %d: %-10s %.3fs  %d KiB\n' "$i" "$1" "$2" "$3"
}
for ((i = 1; i <= rounds; i++)); do
    read -r s m < <(run curl -sS -o "$work/copy" "$base/file"); check_copy; note curl_get "$s" "$m"
    read -r s m < <(run "$client" get "$base/file" "$work/copy"); check_copy; note rw_get "$s" "$m"
    read -r s m < <(run curl -sS -o /dev/null -F purpose=benchmark -F "FILE=@$src" "$base/upload")
    note curl_post "$s" "$m"
    read -r s m < <(run "$client" post "$base/upload" "$src")
    # the file and the 9 bytes of the field "purpose"
    grep -q "^received $((size + 9))\$" "$work/out" || { echo "upload lost bytes: $(cat "$work/out")" >&2; exit 1; }
    note rw_post "$s" "$m"
done

mib=$(calc "$size / 1048576")
line() { printf '%-24s %.3f s  %6.0f MiB/s  max RSS %d KiB\n' "$1" "${best[$2]}" "$(calc "$mib / ${best[$2]}")" "${rss[$2]}"; }
printf 'bytes                    %d\n' "$size"
line "download curl" curl_get
line "download relaywick" rw_get
line "upload curl -F" curl_post
line "upload relaywick" rw_post
printf 'download ratio           %.2f (relaywick / curl throughput, aim >= 0.90)\n' "$(calc "${best[curl_get]} / ${best[rw_get]}")"
printf 'upload ratio             %.2f (relaywick / curl throughput, aim >= 0.90)\n' "$(calc "${best[curl_post]} / ${best[rw_post]}")"
