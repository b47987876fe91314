#!/usr/bin/env bash
# Start-up as a typist sees it, against mpv's own window on the same file, on a
# private X display (with a private sound server and session bus, as on a desktop).
# A third line, the floor, is Qt and our engine alone: one empty window with the file open.
#  - launch to the splash, the splash to the main window, the main window to the
#    length in its caption;
#  - resident memory 5 s after, with a one-hour dictation open.
# Each figure is the median of five starts; memory is the last start's.
#   run.sh BUILD_DIR
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-build}" && pwd)"
watch="$build/bin/startup_watch"
for t in startup_watch startup_floor latency_bench velloran; do
    [[ -x "$build/bin/$t" ]] || cmake --build "$build" --target "$t" >/dev/null
done
command -v mpv >/dev/null || { echo "startup: mpv is not installed (scripts/install-deps.sh)" >&2; exit 1; }
work="$(mktemp -d "${TMPDIR:-/tmp}/startup-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
"$build/bin/latency_bench" make-wav "$work/hour.wav" 3600
runs="${STARTUP_RUNS:-5}"

"$root/tests/run-with.sh" --xvfb --pulse --dbus -- bash -c '
    set -e
    watch="$1" velloran="$2" file="$3" runs="$4" floor="$5"
    median() { sort -n | awk "{ v[NR] = \$1 } END { if (NR) printf \"%.1f\", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }"; }
    figures() { # name, then the watch command; prints the medians
        local name="$1"; shift
        : >"$TMPDIR/all"
        for i in $(seq "$runs"); do
            "$@" >"$TMPDIR/one"
            cat "$TMPDIR/one" >>"$TMPDIR/all"
        done
        echo "$name (median of $runs starts)"
        for what in "launch to first window" "first window to main window" "launch to main window" "main window to the caption"; do
            grep -q "$what" "$TMPDIR/all" || continue
            printf "  %-34s %8s ms\n" "$what" "$(grep "$what" "$TMPDIR/all" | sed "s/.*  *\([0-9.]*\) ms.*/\1/" | median)"
        done
        grep resident "$TMPDIR/one"
    }
    figures "velloran" "$watch" --caption " - Length : 01:00:00" -- "$velloran" "$file"
    figures "mpv $(mpv --version | head -1 | cut -d" " -f2), its own window (--force-window --vo=x11)" \
        "$watch" -- mpv --no-config --force-window=immediate --vo=x11 --pause --keep-open=always "$file"
    figures "the floor: Qt and the engine, one empty window" "$watch" --caption " - Length : 3600" -- "$floor" "$file"
' _ "$watch" "$build/bin/velloran" "$work/hour.wav" "$runs" "$build/bin/startup_floor"
