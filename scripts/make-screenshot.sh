#!/usr/bin/env bash
# Makes the software centre's screenshot, install/screenshots/strip.png: the
# player from a build tree on a private X server, with the sample dictation
# open and played a little, captured at its window's place.
#   scripts/make-screenshot.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
out="$here/install/screenshots/strip.png"
mkdir -p "$(dirname "$out")"

exec "$here/tests/run-with.sh" --xvfb -- bash -euo pipefail -c '
    build="$1" out="$2"
    export VELLORAN_MPV_AO=null
    "$build/bin/velloran" "$build/bin/samples/sample-dictation.wav" &
    player=$!
    trap "kill $player 2>/dev/null; wait $player 2>/dev/null || true" EXIT
    window=""
    for _ in $(seq 1 200); do
        window="$(xdotool search --onlyvisible --name "sample-dictation.wav" 2>/dev/null | head -1 || true)"
        [[ -n "$window" ]] && break
        sleep 0.1
    done
    [[ -n "$window" ]] || { echo "make-screenshot: the player did not show its window" >&2; exit 1; }
    xdotool windowmove "$window" 40 40
    sleep 1.5
    # Play a few seconds and pause, so the time and the bar show a place.
    xdotool mousemove --window "$window" 48 12 click 1
    sleep 4
    xdotool mousemove --window "$window" 77 12 click 1
    xdotool mousemove 700 300
    sleep 0.5
    eval "$(xdotool getwindowgeometry --shell "$window")"
    ffmpeg -loglevel error -y -f x11grab -video_size "${WIDTH}x${HEIGHT}" -i "$DISPLAY+$X,$Y" \
        -frames:v 1 "$out"
    echo "wrote $out (${WIDTH}x${HEIGHT})"
' make-screenshot "$build" "$out"
