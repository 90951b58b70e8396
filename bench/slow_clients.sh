#!/usr/bin/env bash
# Latency of the cheap route "dbAccess/IMG_URL" while slow clients hold
# connections open: a baseline, then SILENT connections that send nothing,
# then TRICKLING connections on top that send one byte per second
# (bench/SlowClients.cpp says how each phase runs). Prints per phase the
# queries made, p50, p99 and max latency in ms, failed or timed-out queries
# and the slow connections established at the end of the phase.
#
#   bench/slow_clients.sh [seconds per phase] [silent] [trickling]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-10}
silent=${2:-500}
trickling=${3:-500}

source bench/common.sh
bench_build
bench_home

# Both ends of a thousand connections on one machine.
ulimit -n "$(ulimit -Hn)"

bench_start build-bench/quillbox-server 2>"$work/server.log"
wait_port "$port"

printf 'slow clients: %s silent, then %s trickling, %ss per phase\n' "$silent" "$trickling" \
  "$seconds"
build-bench/bench/slow_clients "$port" /dbAccess/IMG_URL "$seconds" "$silent" "$trickling"
