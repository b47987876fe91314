#!/usr/bin/env bash
# quillmere against ffmpeg on the same one-hour LP (G.723.1) dictation, in the same run:
# wall time (best of N) and peak memory of each, and whether their PCM agrees. Then the
# player's whole road for that dictation (Open to the engine's open of the wave file,
# through tolvane and quillmere, with the player's 300 ms pause) against ffmpeg + 0.3 s.
#   bench/tools/run.sh BUILD_DIR [RUNS]
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
runs="${2:-3}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
quillmere="$build/bin/quillmere"
make_dss="$build/bench/tools/make-dss"
open_bench="$build/bench/tools/open-dss-bench"
for tool in "$quillmere" "$make_dss" /usr/bin/time ffmpeg; do
    command -v "$tool" >/dev/null || { echo "missing: $tool (build the tools and make-dss first)" >&2; exit 1; }
done

scratch="$(mktemp -d "${TMPDIR:-/tmp}/velloran-bench-tools.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

# One hour of speech: the sample dictation (or a tone when it is missing) encoded once and
# its frames repeated.
sample="$here/../../install/samples/sample-dictation.wav"
if [[ -f "$sample" ]]; then
    source_args=(-i "$sample")
    seconds="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$sample")"
else
    seconds=60
    source_args=(-f lavfi -i "aevalsrc=0.5*sin(2*PI*(220+40*t)*t):s=8000:d=$seconds")
fi
ffmpeg -nostdin -hide_banner -loglevel error -y "${source_args[@]}" -ar 8000 -ac 1 \
    -c:a g723_1 -b:a 6300 -f g723_1 "$scratch/speech.g723"
repeat="$(awk -v s="$seconds" 'BEGIN { r = int(3600 / s); if (r * s < 3600) r++; print r }')"
"$make_dss" lp "$scratch/speech.g723" "$scratch/hour.dss" "$repeat"
echo "recording: $(stat -c %s "$scratch/hour.dss") bytes, $repeat x ${seconds}s of LP frames"

# measure NAME COMMAND...: best wall time in seconds and the largest peak RSS in KiB.
measure() {
    local name="$1"; shift
    local best="" rss=0 t r
    for _ in $(seq "$runs"); do
        /usr/bin/time -f "%e %M" -o "$scratch/time.txt" "$@" >/dev/null 2>&1
        read -r t r <"$scratch/time.txt"
        if [[ -z "$best" ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best="$t"; fi
        ((r > rss)) && rss="$r"
    done
    printf '%-10s %8.2f s  %8d KiB max RSS\n' "$name" "$best" "$rss"
    eval "${name}_time=$best"
}

measure quillmere "$quillmere" "$scratch/hour.dss|$scratch/quillmere.wav"
measure ffmpeg ffmpeg -nostdin -loglevel error -y -i "$scratch/hour.dss" "$scratch/ffmpeg.wav"
# shellcheck disable=SC2154
awk -v q="$quillmere_time" -v f="$ffmpeg_time" \
    'BEGIN { if (f > 0) printf "ratio      %8.2f (quillmere / ffmpeg; aim: <= 1.10)\n", q / f }'

ffmpeg -nostdin -loglevel error -y -i "$scratch/hour.dss" -f s16le "$scratch/ffmpeg.pcm"
if cmp -s <(tail -c +45 "$scratch/quillmere.wav") "$scratch/ffmpeg.pcm"; then
    echo "pcm        identical ($(stat -c %s "$scratch/ffmpeg.pcm") bytes)"
else
    echo "pcm        DIFFERS" >&2
    exit 1
fi

# The whole road in the player. Skipped when the bench was built without the player's
# test fakes.
if [[ -x "$open_bench" ]]; then
    cp "$scratch/hour.dss" "$scratch/Dictation.2026-12-01.dss"
    road="$(VELLORAN_MPV_AO=null "$open_bench" "$build/bin" "$scratch/Dictation.2026-12-01.dss" "$runs" 2>/dev/null)"
    printf '%-10s %8.2f s  (Open to the wave file open in the engine)\n' open-dss "$road"
    awk -v r="$road" -v f="$ffmpeg_time" \
        'BEGIN { if (f > 0) printf "ratio      %8.2f (open-dss / (ffmpeg + 0.3 s); aim: <= 1.20)\n", r / (f + 0.3) }'
else
    echo "open-dss   skipped (build with the tests to get open-dss-bench)"
fi
