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

source bench/common.sh
bench_build
bench_home
python3 tools/sample_catalogue.py --data-folder "$data" --products "$products" \
  --schema-tool build-bench/catalogue_schema
bench_start build-bench/quillbox-server 2>"$work/server.log"
wait_port "$port"

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
