#!/usr/bin/env bash
# Long runs, with resident memory and open descriptors sampled as they go:
#  - 10,000 open, seek, play-briefly and close cycles through the real engine over a WAV,
#    an MP3, a MIDI and a DVI (Dialogic ADPCM) file, sampled every 500 cycles and compared
#    with the sample at cycle 500, once the allocator's arenas have filled;
#  - 1,000 downloads and 1,000 uploads through Relaywick against a loopback server.
# Fails when memory grows by more than 3 % in the engine run or 10 % in the transfers,
# or when descriptors grow.
#   run.sh BUILD_DIR [short]     short: 800 cycles from cycle 400, 100 transfers (CI)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../loopback.sh"
build="$(cd "${1:-build}" && pwd)"
cycles=10000 every=500 warmup=500 transfers=1000
if [[ "${2:-}" == short ]]; then cycles=800 every=100 warmup=400 transfers=100; fi
targets=(engine_soak engine_bench relaywick_bench_server relaywick_bench_client)
for t in "${targets[@]}"; do
    [[ -x "$build/bin/$t" ]] || { cmake --build "$build" --target "${targets[@]}" >/dev/null; break; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/soak.XXXXXX")"
trap 'loopback_stop; rm -rf "$work"' EXIT

"$build/bin/engine_bench" make-wav "$work/speech.wav" 120
"$build/bin/engine_bench" make-vox "$work/dvi.WAV" 120
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:sample_rate=22050:duration=120" \
    -c:a libmp3lame -b:a 32k "$work/speech.mp3"
# 32 quarter notes at 120 bpm: 16 s.
{
    printf 'MThd\0\0\0\6\0\0\0\1\1\340MTrk\0\0\1\44'
    for i in $(seq 1 32); do printf '\0\220\74\144\203\140\200\74\0'; done
    printf '\0\377\57\0'
} >"$work/tune.mid"

echo "-- engine: $cycles cycles"
"$build/bin/engine_soak" "$cycles" "$every" "$warmup" \
    "$work/speech.wav" "$work/speech.mp3" "$work/tune.mid" "$work/dvi.WAV"

echo "-- relaywick: $transfers downloads and uploads"
head -c 65536 /dev/urandom >"$work/payload.bin"
loopback_start "$work" "$build/bin/relaywick_bench_server" "$work/payload.bin"
"$build/bin/relaywick_bench_client" soak "$transfers" "$loopback_url" "$work/payload.bin"
