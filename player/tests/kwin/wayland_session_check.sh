#!/usr/bin/env bash
# The strip and its keys in a KDE Wayland session started as a desktop starts
# it (no QT_QPA_PLATFORM): a private headless KWin with Xwayland, the desktop
# portal with its KDE backend, and an xterm as the window typed in. The strip
# must stay above the focused xterm, and KDE's shortcut registry invoking
# small-forward must move the dictation by "Small Change".
# Run under tests/run-with.sh --pulse --dbus; usage: $0 VELLORAN_EXECUTABLE
set -uo pipefail

if [[ -n "${VELLORAN_KWIN_INSIDE:-}" ]]; then # inside KWin's session
    work="$VELLORAN_KWIN_INSIDE"
    touch "$work/started"
    exec 2>>"$work/session.log"
    result() { echo "$*" >"$work/result"; exit 0; }
    waitFor() { # SECONDS COMMAND...: until COMMAND succeeds
        local i tries=$(($1 * 10)); shift
        for ((i = 0; i < tries; i++)); do "$@" && return 0; sleep 0.1; done
        return 1
    }
    call() { gdbus call --session --dest "$1" --object-path "$2" --method "$3" "${@:4}"; }
    owned() { call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner "$1" | grep -q true; }
    findWindow() { window=$(xdotool search --name "$1" 2>/dev/null | head -n1); [[ -n "$window" ]]; }
    [[ -n "${DISPLAY:-}" ]] || result "KWin started without Xwayland"
    pids=()
    trap 'kill "${pids[@]}" 2>/dev/null; wait' EXIT
    # By hand, not by the bus, whose activation environment lacks WAYLAND_DISPLAY.
    "$VELLORAN_PORTAL_BACKEND" >"$work/portal-kde.log" 2>&1 & pids+=("$!")
    /usr/libexec/xdg-desktop-portal --replace >"$work/portal.log" 2>&1 & pids+=("$!")
    waitFor 20 owned org.freedesktop.impl.portal.desktop.kde || result "the portal's KDE backend did not start"
    waitFor 20 owned org.freedesktop.portal.Desktop || result "the desktop portal did not start"

    ffmpeg -loglevel error -f lavfi -i sine=duration=60 -y "$work/dictation.wav" || result "no dictation made"
    xterm -T typist & pids+=("$!")
    waitFor 20 findWindow "^typist$" || result "no xterm window"
    typist=$window
    "$VELLORAN_EXE" "$work/dictation.wav" >"$work/velloran.log" 2>&1 & pids+=("$!")
    waitFor 30 findWindow "^Velloran - dictation.wav" || result "the strip did not show as an X window"
    strip=$window

    xdotool windowactivate "$typist" 2>/dev/null
    active() { xprop -root _NET_ACTIVE_WINDOW | grep -q "$(printf '0x%x' "$typist")"; }
    waitFor 10 active || result "the xterm did not get the focus"
    stacking=$(xprop -root _NET_CLIENT_LIST_STACKING)
    ((${stacking##*[ #,] } == strip)) || result "the strip is not on top of the focused xterm: $stacking"

    component=(org.kde.kglobalaccel /component/velloran org.kde.kglobalaccel.Component)
    bound() { call "${component[@]:0:2}" "${component[2]}.shortcutNames" | grep -q "'small-forward'"; }
    waitFor 20 bound || result "KDE's registry has no small-forward for the player: $(call org.kde.kglobalaccel \
        /kglobalaccel org.kde.KGlobalAccel.allComponents 2>&1)"
    position() {
        call org.mpris.MediaPlayer2.velloran /org/mpris/MediaPlayer2 org.freedesktop.DBus.Properties.Get \
            org.mpris.MediaPlayer2.Player Position | sed -n 's/.*int64 \([0-9-]*\).*/\1/p'
    }
    small=$(sed -n 's/^Small\(%20\| \)Change=//p' "$XDG_CONFIG_HOME/Velloran/Velloran.conf")
    before=$(position)
    [[ -n "$small" && -n "$before" ]] || result "no Small Change setting, or no player on the session bus"
    call "${component[@]:0:2}" "${component[2]}.invokeShortcut" small-forward >/dev/null || result "invokeShortcut failed"
    moved() { [[ "$(position)" != "$before" ]]; }
    waitFor 10 moved || result "small-forward did not move the dictation from $before us"
    after=$(position)
    expected=$(awk -v b="$before" -v s="$small" 'BEGIN { printf "%d", b + s * 1000000 }')
    ((after - expected < 50000 && expected - after < 50000)) || result "small-forward moved $before us to $after us"
    result ok
fi

for tool in kwin_wayland Xwayland xterm xprop xdotool gdbus ffmpeg /usr/libexec/xdg-desktop-portal; do
    command -v "$tool" >/dev/null || { echo "wayland-session: $tool is missing; scripts/install-deps.sh installs it" >&2; exit 1; }
done
work="$TMPDIR/kwin"
mkdir -p "$work" "$XDG_CONFIG_HOME"
# The installed compositor carries a file capability, which a container
# refuses to run; a plain copy runs as any program does.
cp "$(command -v kwin_wayland)" "$work/kwin_wayland"
# xdotool asks for the focus as a pager would; KWin would refuse it as focus stealing.
printf '[Windows]\nFocusStealingPreventionLevel=0\n' >"$XDG_CONFIG_HOME/kwinrc"
unset QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY
export XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland VELLORAN_KWIN_INSIDE="$work" VELLORAN_EXE="$1"
VELLORAN_PORTAL_BACKEND=$(ls /usr/lib/*/libexec/xdg-desktop-portal-kde 2>/dev/null | head -n1)
export VELLORAN_PORTAL_BACKEND
timeout 150 "$work/kwin_wayland" --virtual --xwayland --no-lockscreen --socket "velloran-$$" \
    --exit-with-session "$(readlink -f "$0")" >"$work/kwin.log" 2>&1
status=$?
if [[ ! -e "$work/started" ]]; then
    echo "wayland-session: the compositor could not start (kwin_wayland exit status $status); its log ends:" >&2
    tail -n 20 "$work/kwin.log" >&2
    exit 1
fi
outcome=$(cat "$work/result" 2>/dev/null || echo "the session ended without a result (status $status)")
if [[ "$outcome" != ok ]]; then
    echo "wayland-session: $outcome" >&2
    for log in session velloran portal portal-kde; do
        [[ -s "$work/$log.log" ]] && { echo "--- $log.log" >&2; tail -n 15 "$work/$log.log" >&2; }
    done
    exit 1
fi
echo "wayland-session: the strip stayed above the focused xterm and KDE's small-forward moved the dictation"
