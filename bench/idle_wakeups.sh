#!/usr/bin/env bash
# Wake-ups of an idle server: starts the built server headless with a
# temporary HOME, waits until its threads have settled, then counts every
# thread's context switches (voluntary + nonvoluntary, from
# /proc/PID/task/*/status) over SECONDS of idleness and prints them per thread
# and in total. Goal: 0. Never fails on figures. QB_SERVER=path measures
# another build of the server (e.g. the test build, or an older one).
#
#   bench/idle_wakeups.sh [seconds=60]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}

source bench/common.sh
if [[ -z "${QB_SERVER:-}" ]]; then
  bench_build
fi
server=${QB_SERVER:-build-bench/quillbox-server}
bench_home
unset DISPLAY WAYLAND_DISPLAY

# "tid name switches" for every thread of process $1.
sample() {
  local task
  for task in /proc/"$1"/task/*; do
    awk -v tid="${task##*/}" '
      /^Name:/ { name = $2 }
      /^(non)?voluntary_ctxt_switches:/ { total += $2 }
      END { print tid, name, total }' "$task/status" 2>/dev/null || true
  done | sort -k1,1
}

total() { awk '{ sum += $3 } END { print sum + 0 }'; }

bench_start "$server" 2>"$work/server.log"
pid=${bench_pids[-1]}
wait_port "$port"

# Settled: no thread switched over two seconds in a row (at most a minute).
previous=$(sample "$pid" | total)
for _ in $(seq 1 30); do
  sleep 2
  now=$(sample "$pid" | total)
  [[ "$now" == "$previous" ]] && break
  previous=$now
done

before=$(sample "$pid")
sleep "$seconds"
after=$(sample "$pid")

echo "idle wake-ups of $server over ${seconds} s (pid $pid, $(wc -l <<<"$after") threads):"
join -a 2 -e 0 -o 2.1,2.2,1.3,2.3 <(echo "$before") <(echo "$after") |
  awk '{ woke = $4 - $3; sum += woke
         if (woke != 0) printf "  thread %-8s %-16s %d\n", $1, $2, woke }
       END { printf "total %d wake-ups (%.2f per second)\n", sum, sum / '"$seconds"' }'
