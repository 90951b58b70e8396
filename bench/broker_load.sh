#!/usr/bin/env bash
# Cost of the port broker: the cheap route "dbAccess/IMG_URL", one request per
# connection (bench/OneShotLoad.cpp), against the same server first bound to
# the port itself, then registered with a broker (its registration socket in
# the temporary folder) that holds the port and passes each connection with
# one sendmsg, then bound itself again once the broker has stopped (the two
# direct runs are averaged, so that a drift of the machine's load does not
# favour either). Prints requests/s, p50 and p99 of each and the ratio
# broker/direct (the goal is 0.85 or more).
#
#   bench/broker_load.sh [seconds] [connections]
# BUILD=folder uses the binaries of an existing build folder instead of
# building build-bench.
set -euo pipefail
cd "$(dirname "$0")/.."

duration=${1:-10}
connections=${2:-32}

source bench/common.sh
if [[ -n ${BUILD:-} ]]; then
  build=$BUILD
else
  bench_build
  build=build-bench
fi
bench_home

registration="$work/broker/registration"
mkdir -p "$work/broker"
export QUILLBOX_BROKER_SOCKET=$registration
bench_start "$build/quillbox-server" 2>"$work/server.log"
wait_port "$port"

measure() {
  "$build/bench/oneshot_load" "$port" /dbAccess/IMG_URL 4 1 >/dev/null || true
  "$build/bench/oneshot_load" "$port" /dbAccess/IMG_URL "$connections" "$duration"
}

read -r d_rps d_p50 d_p99 d_err < <(measure)

# The broker takes the port over: the server sees its socket appear,
# registers and lets the port go.
bench_start "$build/quillbox-broker" --port "$port" 2>"$work/broker.log"
for _ in $(seq 1 600); do
  grep -q "listening on" "$work/broker.log" && grep -q "registered with the port broker" \
    "$work/server.log" && break
  sleep 0.05
done
grep -q "listening on" "$work/broker.log" || { cat "$work/broker.log" >&2; exit 1; }
read -r b_rps b_p50 b_p99 b_err < <(measure)

# The broker stops: the server binds the port itself again.
kill "${bench_pids[-1]}"
for _ in $(seq 1 600); do
  [[ $(grep -c "listening on" "$work/server.log") -ge 2 ]] && break
  sleep 0.05
done
read -r e_rps e_p50 e_p99 e_err < <(measure)
read -r d_rps d_p50 d_p99 d_err < <(awk -v a="$d_rps $d_p50 $d_p99 $d_err" \
  -v b="$e_rps $e_p50 $e_p99 $e_err" 'BEGIN { split(a, x); split(b, y)
    printf "%f %f %f %d\n", (x[1] + y[1]) / 2, (x[2] + y[2]) / 2, (x[3] + y[3]) / 2, x[4] + y[4] }')

printf 'oneshot: %s connections, %ss each, one request per connection\n' "$connections" "$duration"
printf '  %-16s %12s %10s %10s %10s\n' "" "requests/s" "p50 ms" "p99 ms" "errors"
printf '  %-16s %12.0f %10.3f %10.3f %10d\n' "direct (mean)" "$d_rps" "$d_p50" "$d_p99" "$d_err"
printf '  %-16s %12.0f %10.3f %10.3f %10d\n' "through broker" "$b_rps" "$b_p50" "$b_p99" "$b_err"
awk -v b="$b_rps" -v d="$d_rps" -v bp="$b_p50" -v dp="$d_p50" -v b9="$b_p99" -v d9="$d_p99" \
  'BEGIN { printf "  %-16s %12.2f %10.2f %10.2f\n", "broker/direct", b / d, bp / dp, b9 / d9 }'
