#!/usr/bin/env bash
# Command-to-sound latency, each against mpv's own command line in the same run:
#  - the pedal's Play (a step back, then run) to the first sound at the sink;
#  - Pause to the last sound;
#  - a small skip while playing to the first sound from the new place;
# median and worst of 20, with the dropouts counted over all the playing.
# Runs on a private PulseAudio whose default sink is a null sink; its monitor is recorded.
#   run.sh BUILD_DIR
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-build}" && pwd)"
bench="$build/bin/latency_bench"
[[ -x "$bench" ]] || cmake --build "$build" --target latency_bench >/dev/null
command -v mpv >/dev/null || { echo "latency: mpv is not installed (scripts/install-deps.sh)" >&2; exit 1; }
work="$(mktemp -d "${TMPDIR:-/tmp}/latency-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

"$bench" make-wav "$work/hour.wav" 3600
echo "one-hour 16 kHz mono WAV; $(mpv --version | head -1 | cut -d' ' -f1-2) as the peer"
"$root/tests/run-with.sh" --pulse -- bash -c '
    set -e
    "$1" velloran "$2"
    "$1" mpv "$2" "$3"
' _ "$bench" "$work/hour.wav" "$work/mpv.sock"
