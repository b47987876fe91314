# Sourced by the benchmarks that talk to relaywick_bench_server over loopback.
#   loopback_start WORK SERVER ARGS...  starts it; sets loopback_url (http://127.0.0.1:PORT)
#   loopback_stop                       ends it (safe to call twice, and from an EXIT trap)
loopback_pid=
loopback_url=

loopback_start() {
    local work="$1"
    shift
    "$@" >"$work/port" &
    loopback_pid=$!
    for _ in $(seq 1 100); do
        [[ -s "$work/port" ]] && break
        sleep 0.05
    done
    [[ -s "$work/port" ]] || { echo "the loopback server did not start" >&2; return 1; }
    loopback_url="http://127.0.0.1:$(head -n1 "$work/port")"
}

loopback_stop() {
    # The server ends by our signal; its status is not the run's.
    if [[ -n "$loopback_pid" ]]; then
        kill "$loopback_pid" 2>/dev/null || true
        wait "$loopback_pid" 2>/dev/null || true
        loopback_pid=
    fi
}
