#!/usr/bin/env bash
# A first catalogue sync (UPDATE_DB from an empty catalogue, every product
# picture fetched) with nginx serving the sample catalogue's files in front of
# the stand-in catalogue server: on loopback, and through a proxy adding a
# 20 ms round trip over http and over https. curl (one kept-alive connection)
# and aria2c -j 8 fetch the same file list in the same run; see
# bench/sync_wan.py for what is printed. RUNS, CONDITIONS and TOOLS narrow it;
# QUILLBOX_SERVER names another server binary (an earlier build) to time.
#
#   bench/sync_wan.sh [products]      (default 2000)
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/common.sh
if [[ -z "${QUILLBOX_SERVER:-}" ]]; then
  bench_build
  QUILLBOX_SERVER=build-bench/quillbox-server
fi
python3 bench/sync_wan.py "$QUILLBOX_SERVER" "${1:-2000}"
