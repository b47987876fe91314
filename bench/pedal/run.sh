#!/usr/bin/env bash
# Pace of a held Forward pedal on a one-hour dictation in the real engine
# (libmpv, null audio output): passes per second and seconds to cross the
# dictation (3200 passes) with the program's shortest pass, against the same
# hold with no shortest pass (the engine's own pace) in the same run. Then
# what a Rewind hold leaves after the release (time until the window shows
# the final position, position events and refreshes left to run, playback
# state), with and without the display refreshed in the hold.
#   run.sh BUILD_DIR [PASSES]
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
bench="$build/bin/pedal_bench"
[[ -x "$bench" ]] || cmake --build "$build" --target pedal_bench >/dev/null
export VELLORAN_MPV_AO=null
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
"$bench" "${2:-3200}"
