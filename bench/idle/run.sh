#!/usr/bin/env bash
# What the player costs while the typist types: wake-ups (context switches of all its
# threads) and processor ticks, paused and playing, against mpv's own window on the same
# 10-minute file in the same run, on a private X display, sound server and session bus.
# Parlatype's figures come too where it is installed.
#   run.sh BUILD_DIR        IDLE_SECONDS (default 20) per measurement; CI uses a few.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-build}" && pwd)"
[[ -x "$build/bin/velloran" ]] || cmake --build "$build" --target velloran >/dev/null
command -v mpv >/dev/null || { echo "idle: mpv is not installed (scripts/install-deps.sh)" >&2; exit 1; }
work="$(mktemp -d "${TMPDIR:-/tmp}/idle-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:sample_rate=16000:duration=600" \
    -ac 1 -c:a pcm_s16le "$work/ten-minutes.wav"
seconds="${IDLE_SECONDS:-20}"
echo "10-minute 16 kHz mono WAV; $seconds s each; ticks of $(getconf CLK_TCK) a second"

"$root/tests/run-with.sh" --xvfb --pulse --dbus -- bash -c '
    set -euo pipefail
    velloran="$1" file="$2" seconds="$3"
    settle=5 # past the splash and the opening
    # Context switches of every thread, and user plus system ticks of the process.
    switches() {
        local sum=0 n
        for s in /proc/"$1"/task/*/status; do
            n=$(awk "/^(non)?voluntary_ctxt_switches/ { t += \$2 } END { print t + 0 }" "$s" 2>/dev/null) || n=0
            sum=$((sum + n))
        done
        echo "$sum"
    }
    ticks() { awk "{ print \$14 + \$15 }" /proc/"$1"/stat; }
    # Prints "switches ticks" over the measurement.
    measure() {
        local s0 t0
        s0=$(switches "$1") t0=$(ticks "$1")
        sleep "$seconds"
        kill -0 "$1" 2>/dev/null || { echo "idle: the program under test has gone" >&2; return 1; }
        echo "$(( $(switches "$1") - s0 )) $(( $(ticks "$1") - t0 ))"
    }
    stop() { kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; }
    mpris() { # name, method
        dbus-send --session --print-reply --dest="org.mpris.MediaPlayer2.$1" /org/mpris/MediaPlayer2 \
            "org.mpris.MediaPlayer2.Player.$2" >/dev/null
    }
    row() { printf "  %-44s %10s %8s %10s %8s\n" "$@"; }
    row "" "paused" "" "playing" ""
    row "" "wake-ups" "ticks" "wake-ups" "ticks"

    "$velloran" "$file" >"$TMPDIR/velloran.log" 2>&1 &
    pid=$!
    sleep "$settle"
    m=$(measure "$pid")
    read -r ps pt <<<"$m"
    mpris velloran Play
    sleep 1
    m=$(measure "$pid")
    read -r rs rt <<<"$m"
    stop "$pid"
    row "velloran" "$ps" "$pt" "$rs" "$rt"
    if [[ -s "$TMPDIR/velloran.log" ]]; then
        echo "  velloran printed:"; sed "s/^/    /" "$TMPDIR/velloran.log" | head -5
    fi

    mpv_run() {
        mpv --no-config --force-window=immediate --vo=x11 --keep-open=always "$@" "$file" >/dev/null 2>&1 &
        pid=$!
        sleep "$settle"
        local m
        m=$(measure "$pid") || { stop "$pid"; return 1; }
        stop "$pid"
        echo "$m"
    }
    m=$(mpv_run --pause)
    read -r ps pt <<<"$m"
    m=$(mpv_run)
    read -r rs rt <<<"$m"
    row "mpv $(mpv --version | head -1 | cut -d" " -f2) (--force-window --vo=x11)" "$ps" "$pt" "$rs" "$rt"

    if command -v parlatype >/dev/null; then
        parlatype "$file" >/dev/null 2>&1 &
        pid=$!
        sleep "$settle"
        m=$(measure "$pid")
        read -r ps pt <<<"$m"
        if mpris parlatype Play 2>/dev/null; then
            sleep 1
            m=$(measure "$pid")
            read -r rs rt <<<"$m"
        else
            rs="n/a" rt="n/a"
        fi
        stop "$pid"
        row "parlatype" "$ps" "$pt" "$rs" "$rt"
    fi
' _ "$build/bin/velloran" "$work/ten-minutes.wav" "$seconds"
