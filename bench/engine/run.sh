#!/usr/bin/env bash
# Engine figures, each against a peer in the same run:
#  - a pedal hold (3200 position writes and reads without the event loop, as
#    the pedal loop does) through the engine, and through raw synchronous
#    libmpv seeks;
#  - open latency (median of 5) of a one-hour WAV, a one-hour 0x0100 (Dialogic)
#    WAV, a 16 s and a 10-minute MIDI file, against ffprobe reading the same file;
#  - for the 10-minute MIDI file, a seek to its end right after opening.
#   run.sh BUILD_DIR
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
bench="$build/bin/engine_bench"
[[ -x "$bench" ]] || cmake --build "$build" --target engine_bench >/dev/null
work="$(mktemp -d "${TMPDIR:-/tmp}/engine-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

"$bench" make-wav "$work/hour.wav" 3600
"$bench" make-vox "$work/hour.vox.WAV" 3600
# A MIDI file of 32 quarter notes at 120 bpm: 16 s.
{
    printf 'MThd\0\0\0\6\0\0\0\1\1\340MTrk\0\0\1\44'
    for i in $(seq 1 32); do printf '\0\220\74\144\203\140\200\74\0'; done
    printf '\0\377\57\0'
} >"$work/tune.mid"
"$bench" make-midi "$work/ten.mid" 600

"$bench" hold "$work/hour.wav"
ms() { awk "BEGIN { printf \"%.1f\", ($2 - $1) * 1000 }"; }
for f in hour.wav hour.vox.WAV tune.mid ten.mid; do
    echo "-- $f"
    "$bench" open "$work/$f" --repeat 5
    times=()
    for _ in 1 2 3 4 5; do
        t0=$(date +%s.%N)
        ffprobe -v error -show_entries format=duration -of csv=p=0 "$work/$f" >/dev/null 2>&1 || true
        t1=$(date +%s.%N)
        times+=("$(ms "$t0" "$t1")")
    done
    echo "ffprobe  open: $(printf '%s\n' "${times[@]}" | sort -g | sed -n 3p) ms (median of 5)"
done
"$bench" seek-end "$work/ten.mid"
