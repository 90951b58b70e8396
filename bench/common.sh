# Shared by the benchmark scripts (sourced from the project folder):
#   bench_build             set up and build the RelWithDebInfo build-bench
#   bench_home              a temporary $work with HOME, XDG folders and a
#                           config file naming a free $port; removed on exit
#   bench_start CMD...      run CMD in the background, stopped on exit
#   free_port, wait_port P  a free loopback port; wait until P accepts

bench_build() {
  scripts/setup
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLBOX_TESTS=OFF \
    -DQUILLBOX_BENCH=ON >/dev/null
  cmake --build build-bench >/dev/null
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

wait_port() {
  for _ in $(seq 1 600); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then return 0; fi
    sleep 0.05
  done
  echo "nothing listens on port $1" >&2
  return 1
}

bench_pids=()
bench_cleanup() {
  for pid in "${bench_pids[@]}"; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}

bench_home() {
  work=$(mktemp -d)
  trap bench_cleanup EXIT
  export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
    XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/run"
  mkdir -p "$XDG_CONFIG_HOME/Tavrim" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  data="$XDG_DATA_HOME/jp.co.tavrim.Pelloran.V3/data"
  port=$(free_port)
  printf '[Server]\nport=%s\n' "$port" >"$XDG_CONFIG_HOME/Tavrim/Quillbox.conf"
}

bench_start() {
  "$@" &
  bench_pids+=($!)
}
