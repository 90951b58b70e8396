#!/usr/bin/env bash
# Attacks on the real server, one fresh server per attack, each for SECONDS
# while normal queries are timed (bench/abuse.py says what each row does).
# Prints per attack: peak and final resident memory, p50/p99/max of the normal
# queries and how many failed, disk written and whether the server recovered.
# Goal: p99 under 100 ms and peak under 512 MiB in every row. Never fails on
# figures. QB_SERVER=path runs another build of the server (e.g. an older one).
#
#   bench/abuse.sh [seconds=10] [attack ...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-10}
shift || true

source bench/common.sh
bench_build
# Both ends of thousands of connections on one machine.
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

only=()
if [[ $# -gt 0 ]]; then only=(--only "$@"); fi
python3 bench/abuse.py "${QB_SERVER:-build-bench/quillbox-server}" build-bench/catalogue_schema \
  --seconds "$seconds" "${only[@]}"
