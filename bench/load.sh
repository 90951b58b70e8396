#!/usr/bin/env bash
# Mixed load on the real server over the sample catalogue: CLIENTS connections
# at once for SECONDS, one request per connection, mixing catalogue queries,
# queue status polls, usage-log writes and page uploads ("print/add" to one
# print session). Every answer is compared byte for byte with a reference
# answer taken before the load (bench/MixedLoad.cpp). Prints requests/s,
# p50/p99 latency, failed and wrong answers per request and in total, and the
# server's peak threads and peak resident memory. Never fails on figures.
#
#   bench/load.sh [seconds=60] [clients=1000] [products=2000]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
clients=${2:-1000}
products=${3:-2000}

source bench/common.sh
bench_build
bench_home
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

python3 tools/sample_catalogue.py --data-folder "$data" --products "$products" \
  --schema-tool build-bench/catalogue_schema >/dev/null
bench_start build-bench/quillbox-server 2>"$work/server.log"
server_pid=${bench_pids[-1]}
wait_port "$port"
curl -fs -o /dev/null "http://127.0.0.1:$port/dbAccess/DB_URL"
session=$(curl -fs -X POST --data 'width=100&height=50' "http://127.0.0.1:$port/print/init")

# The request mix, with values taken from the catalogue. Answers that the
# load itself changes (recently used lists) are left out, since every answer
# is compared with its reference.
python3 - "$data/qkprint.db" "$session" >"$work/requests" <<'PY'
import base64, os, sqlite3, sys, urllib.parse
sys.path.insert(0, "tools")
import pngfile, sample_catalogue
db = sqlite3.connect(sys.argv[1])
session = sys.argv[2]
sel, parts = db.execute("SELECT searchSelNo, goodsPartsNo FROM paper_infos "
                        "ORDER BY paperInfoId LIMIT 1 OFFSET 100").fetchone()
category, = db.execute("SELECT categoryId FROM categories ORDER BY id LIMIT 1").fetchone()
word = urllib.parse.quote("\u30de\u30eb\u30c1")
image = "data:image/png;base64," + base64.b64encode(
    pngfile.png(8, 8, (200, 40, 40, 255))).decode()
rows = [
    ("LIST_C", 8, "GET", "/dbAccess/LIST&C"),
    ("LIST_P", 4, "GET", "/dbAccess/LIST&P"),
    ("SEARCH_number", 8, "GET", "/dbAccess/SEARCH@usage=" + sel[-4:]),
    ("SEARCH_word", 4, "GET", "/dbAccess/SEARCH@usage=" + word),
    ("SEARCH_category", 6, "GET", "/dbAccess/SEARCH@category_id=%s" % category),
    ("DETAIL", 8, "GET", "/dbAccess/DETAIL@searchSelNo=" + sel),
    ("TOP_GROUP", 4, "GET", "/dbAccess/TOP_GROUP@list&searchSelNo=" + sel),
    ("GENERIC_list", 4, "GET", "/dbAccess/GENERIC_GROUP@list&level=0"),
    ("TEMPLATE_LIST", 4, "GET", "/dbAccess/TEMPLATE_LIST@partsNo=" + urllib.parse.quote(parts)),
    ("UPDATE_STATUS_DB", 20, "GET", "/dbAccess/UPDATE_STATUS_DB"),
    ("LOG", 15, "GET", "/dbAccess/LOG@p=%s&t=2024-01-01%%2010:00:00" % sel),
    ("print_add", 15, "POST", "/print/add", "id=%s&img=%s" % (session, image)),
]
for row in rows:
    print(" ".join(str(v) for v in row))
PY

printf 'server: %s products, pid %s; load client: bench/MixedLoad.cpp\n' "$products" "$server_pid"
build-bench/bench/mixed_load "$port" "$seconds" "$clients" "$work/requests" "$server_pid"
logged=$(python3 -c "import sqlite3,sys; print(sqlite3.connect(sys.argv[1]).execute(
  \"SELECT count(*) FROM logs WHERE create_at='2024-01-01 10:00:00'\").fetchone()[0])" \
  "$data/qkprint.db")
printf 'usage-log rows written by the load: %s\n' "$logged"
