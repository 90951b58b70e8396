#!/usr/bin/env bash
# Fault scenarios on the real server (bench/faults.py): full and read-only
# data folder (tmpfs mounts; needs root, otherwise "skipped"), a file that is
# not a database, the database locked by another process, catalogue server
# faults (500, closed mid-body, stalled, 1 GiB body) and SIGKILL during an
# update. Each prints what the client saw and what was lost (goal: nothing).
# Never fails on findings.
#
#   bench/faults.sh [scenario ...]      (names in bench/faults.py; default all)
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/common.sh
bench_build
python3 bench/faults.py build-bench/quillbox-server "$@"
