#!/usr/bin/env bash
# The strip and its keys in a KDE Wayland session, as a desktop starts it (no
# QT_QPA_PLATFORM): a private headless KWin with Xwayland, the desktop portal
# with its KDE backend, and an xterm for the window the typist types in.
# Checks that the strip stays above the focused xterm and that the desktop's
# shortcut registry, invoking small-forward, moves the dictation by
# "Small Change". Run under tests/run-with.sh --pulse --dbus.
# usage: wayland_session_check.sh VELLORAN_EXECUTABLE
set -uo pipefail

say() { echo "wayland-session: $*" >&2; }

if [[ -n "${VELLORAN_KWIN_INSIDE:-}" ]]; then
    # Inside the compositor's session: DISPLAY and WAYLAND_DISPLAY are KWin's.
    work="$VELLORAN_KWIN_INSIDE"
    touch "$work/started"
    exec 2>>"$work/session.log"
    result() { echo "$*" >"$work/result"; exit 0; }
    [[ -n "${DISPLAY:-}" && -n "${WAYLAND_DISPLAY:-}" ]] ||
        result "KWin started without Xwayland (DISPLAY='${DISPLAY:-}')"
    pids=()
    trap 'kill "${pids[@]}" 2>/dev/null; wait' EXIT
    # Started by hand rather than by the bus, whose activation environment has
    # no WAYLAND_DISPLAY.
    "$VELLORAN_PORTAL_BACKEND" >"$work/portal-kde.log" 2>&1 &
    pids+=("$!")
    /usr/libexec/xdg-desktop-portal --replace >"$work/portal.log" 2>&1 &
    pids+=("$!")
    owned() {
        gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
            --method org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -q true
    }
    # waitFor SECONDS COMMAND...: until COMMAND succeeds.
    waitFor() {
        local tries=$(($1 * 10))
        shift
        for ((i = 0; i < tries; i++)); do
            "$@" && return 0
            sleep 0.1
        done
        return 1
    }
    waitFor 20 owned org.freedesktop.impl.portal.desktop.kde || result "the portal's KDE backend did not start"
    waitFor 20 owned org.freedesktop.portal.Desktop || result "the desktop portal did not start"

    ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=60 -y "$work/dictation.wav" ||
        result "ffmpeg could not make a dictation"
    xterm -T typist -geometry 80x24+0+0 &
    pids+=("$!")
    findWindow() { xdotool search --name "$1" 2>/dev/null | head -n1; }
    typist=""
    waitFor 20 eval 'typist=$(findWindow "^typist$"); [[ -n "$typist" ]]' || result "no xterm window"
    "$VELLORAN_EXE" "$work/dictation.wav" >"$work/velloran.log" 2>&1 &
    pids+=("$!")
    strip=""
    waitFor 30 eval 'strip=$(findWindow "^Velloran - dictation.wav"); [[ -n "$strip" ]]' ||
        result "the strip did not show as an X window"

    xdotool windowactivate "$typist" 2>/dev/null
    active() { xprop -root _NET_ACTIVE_WINDOW | grep -q "$(printf '0x%x' "$typist")"; }
    waitFor 10 active || result "the xterm did not get the focus"
    stacking=$(xprop -root _NET_CLIENT_LIST_STACKING)
    top=${stacking##*, }
    top=${top##*# }
    ((top == strip)) || result "the strip is not on top while the xterm has the focus: $stacking (strip $(printf '0x%x' "$strip"))"

    component=/component/velloran
    bound() {
        gdbus call --session --dest org.kde.kglobalaccel --object-path "$component" \
            --method org.kde.kglobalaccel.Component.shortcutNames 2>/dev/null | grep -q "'small-forward'"
    }
    waitFor 20 bound || result "KDE's shortcut registry has no small-forward for the player: $(gdbus call --session \
        --dest org.kde.kglobalaccel --object-path /kglobalaccel --method org.kde.KGlobalAccel.allComponents 2>&1)"
    position() {
        gdbus call --session --dest org.mpris.MediaPlayer2.velloran --object-path /org/mpris/MediaPlayer2 \
            --method org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player Position |
            sed -n 's/.*int64 \([0-9-]*\).*/\1/p'
    }
    small=$(sed -n 's/^Small%20Change=//p; s/^Small Change=//p' "$XDG_CONFIG_HOME/Velloran/Velloran.conf" | head -n1)
    [[ -n "$small" ]] || result "no Small Change in the settings file"
    before=$(position)
    [[ -n "$before" ]] || result "the player does not answer on the session bus"
    gdbus call --session --dest org.kde.kglobalaccel --object-path "$component" \
        --method org.kde.kglobalaccel.Component.invokeShortcut small-forward >/dev/null ||
        result "invokeShortcut failed"
    moved() { [[ "$(position)" != "$before" ]]; }
    waitFor 10 moved || result "small-forward did not move the dictation (still at $before us)"
    after=$(position)
    expected=$(awk -v b="$before" -v s="$small" 'BEGIN { printf "%d", b + s * 1000000 }')
    ((after - expected < 50000 && expected - after < 50000)) ||
        result "small-forward moved from $before us to $after us, not by $small s"
    result ok
fi

velloran="${1:?usage: wayland_session_check.sh VELLORAN_EXECUTABLE}"
for tool in kwin_wayland Xwayland xterm xprop xdotool gdbus ffmpeg /usr/libexec/xdg-desktop-portal; do
    command -v "$tool" >/dev/null || { say "$tool is missing; scripts/install-deps.sh installs it"; exit 1; }
done
backend=$(ls /usr/lib/*/libexec/xdg-desktop-portal-kde /usr/libexec/xdg-desktop-portal-kde 2>/dev/null | head -n1)
[[ -n "$backend" ]] || { say "xdg-desktop-portal-kde is missing; scripts/install-deps.sh installs it"; exit 1; }

work="$TMPDIR/kwin"
mkdir -p "$work" "$XDG_CONFIG_HOME"
# The installed compositor carries a file capability, which a container
# refuses to run; a plain copy runs as any program does.
cp "$(command -v kwin_wayland)" "$work/kwin_wayland"
# xdotool asks for the focus as a pager would; the desktop would otherwise
# refuse it as focus stealing.
printf '[Windows]\nFocusStealingPreventionLevel=0\n' >"$XDG_CONFIG_HOME/kwinrc"

unset QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY
export XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland
export VELLORAN_KWIN_INSIDE="$work" VELLORAN_EXE="$velloran" VELLORAN_PORTAL_BACKEND="$backend"
timeout 150 "$work/kwin_wayland" --virtual --xwayland --no-lockscreen --socket "velloran-$$" \
    --width 1280 --height 800 --exit-with-session "$(readlink -f "$0")" >"$work/kwin.log" 2>&1
status=$?

if [[ ! -e "$work/started" ]]; then
    say "the compositor could not start (kwin_wayland exit status $status); its log ends:"
    tail -n 20 "$work/kwin.log" >&2
    exit 1
fi
outcome=$(cat "$work/result" 2>/dev/null || echo "the session ended without a result (status $status)")
if [[ "$outcome" != ok ]]; then
    say "$outcome"
    for log in session velloran portal portal-kde; do
        [[ -s "$work/$log.log" ]] && { echo "--- $log.log" >&2; tail -n 15 "$work/$log.log" >&2; }
    done
    exit 1
fi
echo "wayland-session: ok: the strip stayed above the focused xterm and KDE's small-forward moved the dictation"
