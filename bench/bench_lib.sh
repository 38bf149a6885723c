# Shared by the benchmark scripts (sourced, not run): a work folder removed
# at exit with every server the script started, free loopback ports, nginx
# set-up, server start-up, CPU pinning and per-process memory figures.
# Expects $root (the repository) to be set.

work=$(mktemp -d "/tmp/$(basename "$0" .sh).XXXXXX")
started_pids=()
cleanup() {
  local pid
  for pid in "${started_pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  for pid in "${started_pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# With PIN=1: the client on the first core, the servers on the second, so
# that the figures do not depend on whether the scheduler happens to put
# client and server together.
choose_cpus() {
  server_cpu=() client_cpu=()
  if [ "$1" -eq 1 ] && [ "$(nproc)" -ge 2 ] && command -v taskset >/dev/null; then
    server_cpu=(taskset -c 1) client_cpu=(taskset -c 0)
  fi
}

require_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
  done
}

free_port() {
  local port
  for _ in $(seq 200); do
    port=$((20000 + RANDOM % 30000))
    if [ -z "$(ss -Htan "sport = :$port")" ]; then echo "$port"; return; fi
  done
  echo "no free port found" >&2; exit 1
}

require_loopback() {
  local host
  host=$(sed -E 's#^[a-z]+://(\[[^]]*\]|[^/:]*).*#\1#' <<<"$1")
  case "$host" in
    127.*|localhost|"[::1]") ;;
    *) echo "refusing $1: the benchmark sends traffic to loopback only" >&2; exit 2 ;;
  esac
}

# nginx.conf in DIR for one worker on 127.0.0.1:PORT, the folder DIR/www as
# its root and LOCATION as the body of "location / { }".
write_nginx_site_conf() {
  local dir=$1 port=$2 location=$3
  mkdir -p "$dir/www" "$dir/tmp"
  local user_line=""
  [ "$(id -u)" -eq 0 ] && user_line="user root;"
  cat >"$dir/nginx.conf" <<EOF
worker_processes 1;
daemon off;
master_process on;
$user_line
pid $dir/nginx.pid;
error_log $dir/error.log warn;
events { worker_connections 4096; }
http {
  access_log $dir/access.log;
  client_body_temp_path $dir/tmp/body; proxy_temp_path $dir/tmp/proxy;
  fastcgi_temp_path $dir/tmp/fastcgi; uwsgi_temp_path $dir/tmp/uwsgi; scgi_temp_path $dir/tmp/scgi;
  server {
    listen 127.0.0.1:$port;
    root $dir/www;
    location / { $location }
  }
}
EOF
}

# Starts a server in the background (its pid in started_pid) and waits until
# URL answers.
start_server() {
  local log=$1 check_url=$2; shift 2
  "${server_cpu[@]}" "$@" >"$log" 2>&1 &
  started_pid=$!
  started_pids+=("$started_pid")
  for _ in $(seq 300); do
    if curl -s -o /dev/null --max-time 2 "$check_url"; then return; fi
    kill -0 "$started_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "server did not answer at $check_url; its output:" >&2
  tail -20 "$log" >&2
  exit 1
}

# The program, built for speed in build-bench/; its path in pocketlane_binary.
build_pocketlane() {
  cmake -S "$root" -B "$root/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DPOCKETLANE_BUILD_TESTS=OFF -DPOCKETLANE_BUILD_BENCH=ON >/dev/null
  cmake --build "$root/build-bench" --target pocketlane >&2
  pocketlane_binary="$root/build-bench/src/pocketlane"
}

tree_pids() {
  local pid=$1 child
  echo "$pid"
  for child in $(ps -o pid= --ppid "$pid"); do tree_pids "$child"; done
}

memory_kb() { # PID FIELD (VmRSS or VmHWM) summed over the process tree
  local total=0 pid kb
  for pid in $(tree_pids "$1"); do
    kb=$(awk -v f="$2:" '$1 == f {print $2}' "/proc/$pid/status" 2>/dev/null || true)
    total=$((total + ${kb:-0}))
  done
  echo "$total"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
