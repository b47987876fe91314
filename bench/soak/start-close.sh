#!/usr/bin/env bash
# Starts the player on a one-hour file again and again under a private X server and ends
# each start with SIGTERM at a random moment between 0.2 and 3.5 s, keeping core dumps.
# An exit other than a normal one (or death by the SIGTERM itself, before the player has
# taken the signal over) fails the run; a player still alive 10 s after the signal counts
# as hung. Each failure's core dump and output stay in the kept folder.
#   start-close.sh BUILD_DIR [STARTS] [SEED]      STARTS defaults to 500
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$(cd "${1:-build}" && pwd)"
starts="${2:-500}" seed="${3:-$RANDOM}"
if [[ -z "${VELLORAN_START_CLOSE_INNER:-}" ]]; then
    export VELLORAN_START_CLOSE_INNER=1
    exec "$here/../../tests/run-with.sh" --xvfb --pulse -- "$0" "$build" "$starts" "$seed"
fi
player="$build/bin/velloran"
[[ -x "$player" ]] || { echo "start-close: $player missing" >&2; exit 2; }
kept="$build/start-close"
rm -rf "$kept" && mkdir -p "$kept"
"$build/bin/engine_bench" make-wav "$kept/hour.wav" 3600
ulimit -c unlimited

abnormal=0 hung=0 early=0
for ((i = 1; i <= starts; i++)); do
    delay="$(awk -v s="$seed" -v i="$i" 'BEGIN { srand(s * 1000 + i); printf "%.3f", 0.2 + rand() * 3.3 }')"
    run="$kept/run-$i"
    mkdir -p "$run"
    (cd "$run" && exec "$player" "$kept/hour.wav") >"$run/output" 2>&1 &
    pid=$!
    sleep "$delay"
    kill -TERM "$pid" 2>/dev/null
    for ((w = 0; w < 100; w++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -ABRT "$pid" # leaves a core dump of the hang
        wait "$pid"
        hung=$((hung + 1))
        echo "start $i (signal at $delay s): still running 10 s later; kept in $run"
        continue
    fi
    wait "$pid"
    status=$?
    if ((status == 0)); then
        rm -rf "$run"
    elif ((status == 143)); then
        early=$((early + 1))
        rm -rf "$run"
    else
        abnormal=$((abnormal + 1))
        echo "start $i (signal at $delay s): exit status $status; kept in $run"
        tail -n 5 "$run/output"
        if command -v gdb >/dev/null && [[ -f "$run/core" ]]; then
            gdb -batch -ex "thread apply all bt 12" "$player" "$run/core" 2>/dev/null | tail -n 60
        fi
    fi
done
echo "start-close: $starts starts (seed $seed): $abnormal abnormal exits, $hung hung," \
    "$early ended by the signal before the player took it over"
((abnormal == 0 && hung == 0))
