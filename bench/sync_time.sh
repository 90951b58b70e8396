#!/usr/bin/env bash
# Time of a full catalogue sync (DB_URL, CHK_DB, UPDATE_DB) from an empty
# catalogue against the stand-in catalogue server serving the sample
# catalogue (20,000 products by default) without picture files.
#
#   bench/sync_time.sh [products]
set -euo pipefail
cd "$(dirname "$0")/.."

products=${1:-20000}

source bench/common.sh
bench_build
bench_home
catalogue_port=$(free_port)
bench_start python3 tools/catalogue_server.py --port "$catalogue_port" --products "$products" \
  --no-pictures >"$work/catalogue.log" 2>&1
bench_start build-bench/quillbox-server --catalogue-url "http://127.0.0.1:$catalogue_port" \
  2>"$work/server.log"
wait_port "$port"
wait_port "$catalogue_port"

start=$(date +%s.%N)
curl -fs "http://127.0.0.1:$port/dbAccess/DB_URL" >/dev/null
check=$(curl -fs "http://127.0.0.1:$port/dbAccess/CHK_DB")
curl -fs --max-time 600 "http://127.0.0.1:$port/dbAccess/UPDATE_DB" >/dev/null
end=$(date +%s.%N)

rows=$(python3 - "$data/qkprint.db" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
tables = ["kbn_infos", "categories", "paper_size_infos", "paper_infos", "paper_group_infos",
          "pict_group_infos", "generic_group_infos", "paper_relation2s", "template_infos",
          "pict_group_top_level_infos", "pict_group_sub_level_infos"]
print(sum(db.execute("SELECT count(*) FROM " + t).fetchone()[0] for t in tables),
      db.execute("SELECT count(*) FROM paper_infos").fetchone()[0])
PY
)
read -r total paper <<<"$rows"
printf 'full sync of %d products without pictures: CHK_DB %s, %d records (%d products) in %.2f s\n' \
  "$products" "$check" "$total" "$paper" "$(python3 -c "print($end - $start)")"
printf 'committed version: %s\n' "$(cat "$data/verFile_DB.txt" | tr -d '\r')"
