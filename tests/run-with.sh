#!/usr/bin/env bash
# Runs a test command in a private environment:
#   run-with.sh [--xvfb] [--pulse] [--dbus] -- command args...
# Always: a fresh XDG_CONFIG_HOME, XDG_CACHE_HOME, XDG_DATA_HOME, XDG_RUNTIME_DIR and TMPDIR, removed afterwards,
# so no test ever sees or touches the user's own settings.
# --xvfb:  a private X server (Xvfb) on a free display, exported as DISPLAY.
# --pulse: a private PulseAudio daemon with a null sink as the default sink.
# --dbus:  a private session bus, exported as DBUS_SESSION_BUS_ADDRESS. Without
#          it the session bus points nowhere, so no test reaches the user's own.
set -uo pipefail

want_x=0 want_pulse=0 want_dbus=0
while (($#)); do
    case "$1" in
        --xvfb) want_x=1 ;;
        --pulse) want_pulse=1 ;;
        --dbus) want_dbus=1 ;;
        --) shift; break ;;
        *) break ;;
    esac
    shift
done

scratch="$(mktemp -d "${TMPDIR:-/tmp}/velloran-test.XXXXXX")"
mkdir -p "$scratch/config" "$scratch/cache" "$scratch/data" "$scratch/runtime" "$scratch/tmp"
chmod 700 "$scratch/runtime"
export XDG_CONFIG_HOME="$scratch/config" XDG_CACHE_HOME="$scratch/cache" XDG_DATA_HOME="$scratch/data" XDG_RUNTIME_DIR="$scratch/runtime" TMPDIR="$scratch/tmp"
export HOME="${HOME:-$scratch}"

pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
    rm -rf "$scratch"
}
trap cleanup EXIT

if ((want_x)); then
    # An X11 session on the private server, whatever session the tests are started from.
    unset QT_QPA_PLATFORM WAYLAND_DISPLAY
    export XDG_SESSION_TYPE=x11
    for d in $(seq 90 190); do
        [[ -e /tmp/.X$d-lock || -e /tmp/.X11-unix/X$d ]] && continue
        # -noreset: the server would reset whenever its last client leaves
        # and refuse the next test's first client meanwhile.
        Xvfb ":$d" -noreset -screen 0 1280x800x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
        xpid=$!
        for _ in $(seq 1 100); do
            [[ -e /tmp/.X11-unix/X$d ]] && break
            kill -0 "$xpid" 2>/dev/null || break
            sleep 0.05
        done
        if kill -0 "$xpid" 2>/dev/null && [[ -e /tmp/.X11-unix/X$d ]]; then
            pids+=("$xpid")
            export DISPLAY=":$d"
            break
        fi
    done
    [[ -n "${DISPLAY:-}" ]] || { echo "run-with: could not start Xvfb" >&2; cat "$scratch/xvfb.log" >&2; exit 1; }
fi

export DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/runtime/no-bus"
if ((want_dbus)); then
    bus="$scratch/runtime/bus"
    # No service folders: nothing on the machine is started on a test's behalf.
    cat >"$scratch/dbus.conf" <<EOF
<busconfig>
  <type>session</type>
  <listen>unix:path=$bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
    dbus-daemon --config-file="$scratch/dbus.conf" --nofork --nopidfile >"$scratch/dbus.log" 2>&1 &
    pids+=("$!")
    for _ in $(seq 1 100); do
        [[ -S "$bus" ]] && break
        sleep 0.05
    done
    [[ -S "$bus" ]] || { echo "run-with: could not start dbus-daemon" >&2; cat "$scratch/dbus.log" >&2; exit 1; }
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$bus"
fi

if ((want_pulse)); then
    export PULSE_RUNTIME_PATH="$scratch/runtime/pulse" PULSE_STATE_PATH="$scratch/pulse-state"
    pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit --system=false \
        -n --load="module-null-sink sink_name=velloran_null" \
        --load="module-native-protocol-unix" \
        --log-target=file:"$scratch/pulse.log" &
    pids+=("$!")
    for _ in $(seq 1 100); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.05
    done
    pactl info >/dev/null 2>&1 || { echo "run-with: could not start PulseAudio" >&2; cat "$scratch/pulse.log" >&2; exit 1; }
    pactl set-default-sink velloran_null
fi

"$@"
exit $?
