#!/usr/bin/env bash
# Catalogue query benchmark on a generated catalogue (20,000 products by
# default): over HTTP, requests/s, p50 and p99 latency of each query, one
# request per connection (bench/OneShotLoad.cpp); then the same queries
# in-process (bench/QueryBench.cpp) with the cost of opening a connection and
# compiling a statement, to show where the time goes.
#
#   bench/query_load.sh [products] [seconds per query] [connections]
set -euo pipefail
cd "$(dirname "$0")/.."

products=${1:-20000}
seconds=${2:-3}
connections=${3:-1}

scripts/setup
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLBOX_TESTS=OFF \
  -DQUILLBOX_BENCH=ON >/dev/null
cmake --build build-bench >/dev/null

work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
  XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_CONFIG_HOME/Tavrim" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
data="$XDG_DATA_HOME/jp.co.tavrim.Pelloran.V3/data"
python3 tools/sample_catalogue.py --data-folder "$data" --products "$products" \
  --schema-tool build-bench/catalogue_schema

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
printf '[Server]\nport=%s\n' "$port" >"$XDG_CONFIG_HOME/Tavrim/Quillbox.conf"
build-bench/quillbox-server 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 1 200); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.05
done

# The client asks for the data folder first, which also completes the schema.
curl -s -o /dev/null "http://127.0.0.1:$port/dbAccess/DB_URL"

# Values the queries look for, taken from the generated catalogue: a model, a
# model-number fragment (a few matches) and a common word (a tenth of all
# products).
read -r model fragment broad < <(python3 - "$data/qkprint.db" <<'PY'
import sqlite3, sys, urllib.parse
db = sqlite3.connect(sys.argv[1])
sel, = db.execute("SELECT searchSelNo FROM paper_infos "
                  "ORDER BY paperInfoId LIMIT 1 OFFSET 1000").fetchone()
print(sel, sel[-4:], urllib.parse.quote("\u30de\u30eb\u30c1"))
PY
)

queries=(
  "LIST &C|/dbAccess/LIST&C"
  "LIST &P|/dbAccess/LIST&P"
  "SEARCH number|/dbAccess/SEARCH@usage=$fragment"
  "SEARCH word|/dbAccess/SEARCH@usage=$broad"
  "SEARCH category|/dbAccess/SEARCH@category_id=3"
  "DETAIL|/dbAccess/DETAIL@searchSelNo=$model"
  "RECENT|/dbAccess/RECENT@mac_address=x"
  "TOP_GROUP list|/dbAccess/TOP_GROUP@list&searchSelNo=$model"
  "GENERIC list|/dbAccess/GENERIC_GROUP@list&level=0"
  "GENERIC images|/dbAccess/GENERIC_GROUP@images&level=1"
  "IMG_URL|/dbAccess/IMG_URL"
)

printf '%s products, %s connections, %ss per query, one request per connection\n' \
  "$products" "$connections" "$seconds"
printf '  %-16s %10s %10s %10s %8s %8s\n' query requests/s "p50 ms" "p99 ms" errors bytes
for entry in "${queries[@]}"; do
  name=${entry%%|*}
  path=${entry#*|}
  bytes=$(curl -s "http://127.0.0.1:$port$path" | wc -c)
  read -r rps p50 p99 errors < <(build-bench/bench/oneshot_load "$port" "$path" "$connections" \
    "$seconds")
  printf '  %-16s %10.0f %10.3f %10.3f %8d %8d\n' "$name" "$rps" "$p50" "$p99" "$errors" "$bytes"
done

echo
echo "in-process (same catalogue):"
QB_MODEL="$model" QB_FRAGMENT="$fragment" build-bench/bench/query_bench \
  --benchmark_min_time=0.5 2>/dev/null | sed -n '/^BM_/p'
