#!/usr/bin/env bash
# Load benchmark of the cheap route "dbAccess/IMG_URL" against nginx serving a
# static file of the same size (empty) on loopback, one request per connection
# for both. Prints requests/s, p50 and p99 latency of each and their ratios,
# measured twice:
#  - oneshot_load (bench/OneShotLoad.cpp): connect, send, read until close;
#    the latency includes the connect.
#  - wrk with "Connection: close". nginx then answers "Connection: close";
#    the server's 200 answer carries no Connection header, so wrk tries to
#    reuse the closed connection, counts a read error and reconnects: the
#    server's wrk requests/s are understated by that wasted attempt.
#
#   bench/http_load.sh [seconds] [connections]
set -euo pipefail
cd "$(dirname "$0")/.."

duration=${1:-10}
connections=${2:-32}
threads=2

source bench/common.sh
bench_build
bench_home

# The server, with a temporary HOME and a free port.
server_port=$port
bench_start build-bench/quillbox-server 2>"$work/server.log"

# nginx serving an empty file at the same path.
nginx_port=$(free_port)
mkdir -p "$work/www/dbAccess" "$work/nginx"
: >"$work/www/dbAccess/IMG_URL"
cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 4096; }
http {
  access_log off;
  keepalive_timeout 0;
  default_type text/plain;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/www;
  }
}
CONF
bench_start nginx -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log"

wait_port "$server_port"
wait_port "$nginx_port"

# Each measure prints "requests/s p50_ms p99_ms errors".
measure_oneshot() {
  build-bench/bench/oneshot_load "$1" /dbAccess/IMG_URL "$connections" "$duration"
}

measure_wrk() {
  local url="http://127.0.0.1:$1/dbAccess/IMG_URL" out
  wrk -t"$threads" -c"$connections" -d"${duration}s" --latency -H "Connection: close" "$url" \
    >"$work/wrk.out" 2>&1 || true
  out=$(cat "$work/wrk.out")
  awk '
    function ms(v) {
      if (v ~ /us$/) { sub(/us$/, "", v); return v / 1000 }
      if (v ~ /ms$/) { sub(/ms$/, "", v); return v + 0 }
      if (v ~ /s$/)  { sub(/s$/, "", v);  return v * 1000 }
      return v
    }
    /Requests\/sec:/ { rps = $2 }
    /Socket errors:/ { gsub(/,/, ""); errors = $4 + $6 + $8 + $10 }
    /Non-2xx/ { errors += $NF }
    $1 == "50%" { p50 = ms($2) }
    $1 == "99%" { p99 = ms($2) }
    END { printf "%s %.3f %.3f %d\n", rps, p50, p99, errors }
  ' <<<"$out"
}

# A short warm-up of each, then the measured runs.
build-bench/bench/oneshot_load "$server_port" /dbAccess/IMG_URL 4 1 >/dev/null || true
build-bench/bench/oneshot_load "$nginx_port" /dbAccess/IMG_URL 4 1 >/dev/null || true

report() {
  local tool=$1 s_rps s_p50 s_p99 s_err n_rps n_p50 n_p99 n_err
  read -r s_rps s_p50 s_p99 s_err < <("measure_$tool" "$server_port")
  read -r n_rps n_p50 n_p99 n_err < <("measure_$tool" "$nginx_port")
  printf '%s: %s connections, %ss each, one request per connection\n' "$tool" "$connections" \
    "$duration"
  printf '  %-16s %12s %10s %10s %10s\n' "" "requests/s" "p50 ms" "p99 ms" "errors"
  printf '  %-16s %12.0f %10.3f %10.3f %10d\n' "quillbox-server" "$s_rps" "$s_p50" "$s_p99" "$s_err"
  printf '  %-16s %12.0f %10.3f %10.3f %10d\n' "nginx" "$n_rps" "$n_p50" "$n_p99" "$n_err"
  awk -v s="$s_rps" -v n="$n_rps" -v sp="$s_p50" -v np="$n_p50" -v s9="$s_p99" -v n9="$n_p99" \
    'BEGIN { printf "  %-16s %12.2f %10.2f %10.2f\n", "server/nginx", s / n, sp / np, s9 / n9 }'
}

report oneshot
report wrk
