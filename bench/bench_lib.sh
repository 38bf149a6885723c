# Shared by the benchmark scripts (sourced, not run): a work folder removed
# at exit with every server the script started, free loopback ports, nginx
# set-up, server start-up, CPU pinning and per-process memory figures.
# Expects $root (the repository) to be set.

wrk_headers=()

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

# Settings of its own in $work for the program at $pocketlane_binary, so that
# "/" is PAGE whatever the user running the benchmark has set: "menu", the
# main menu of every module; "welcome", the welcome page with its picture and
# message; "login", the welcome page asking for the site password. The
# command line serving them ("@PORT@" for the port) goes in pocketlane_command.
prepare_pocketlane_site() {
  local welcome=N password=N
  case "$1" in
    menu) ;;
    welcome) welcome=Y ;;
    login) password=Y ;;
    *) echo "unknown page: $1" >&2; exit 2 ;;
  esac
  mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
  export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/config"
  "$pocketlane_binary" --settings "$work/settings.reg" --set ShowWelcomeGraphic=$welcome \
    --set WelcomeMessage=$welcome --set EnablePassword=$password --set Password=Tq7-mZ4!pR9x \
    --set EnableSharedFolders=Y --set EnableGraffiti=Y --set EnableMyComputer=Y >/dev/null
  mkdir -p "$work/share/Holiday pictures"
  for n in $(seq -w 1 40); do : >"$work/share/Ring tone $n.mid"; done
  "$pocketlane_binary" --settings "$work/settings.reg" --share "$work/share" >/dev/null
  pocketlane_command=("$pocketlane_binary" --headless --port @PORT@ --settings "$work/settings.reg")
}

# follow_links URL "A>B>...": the URL reached from URL by following, page
# after page, the first link whose text contains A, then B, and so on.
follow_links() {
  local target=$1 step href origin
  origin=$(sed -E 's#^([a-z]+://[^/]*).*#\1#' <<<"$1")
  IFS='>' read -ra steps <<<"$2"
  for step in "${steps[@]}"; do
    href=$(curl -s --max-time 10 "$target" | grep -o '<a href="[^"]*">[^<]*' |
      grep -F -- "$step" | head -1 | sed -E 's#<a href="([^"]*)".*#\1#; s#&amp;#\&#g')
    [ -n "$href" ] || { echo "no link with \"$step\" at $target" >&2; exit 1; }
    target=$origin$href
  done
  echo "$target"
}

# --- wrk runs and their figures (the caller sets $connections and $duration)

cpu_ticks() {
  local total=0 pid ticks
  for pid in $(tree_pids "$1"); do
    ticks=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | awk '{print $12 + $13}')
    total=$((total + ${ticks:-0}))
  done
  echo "$total"
}

passive_opens() {
  awk '/^Tcp:/ { if (!n) { for (i = 1; i <= NF; i++) if ($i == "PassiveOpens") col = i; n = 1 }
                 else print $col }' /proc/net/snmp
}

result_field() { sed -E "s/.* $1=([0-9]+).*/\1/" <<<"$2"; }

# run_wrk NAME PID URL SECONDS: one wrk run; sets the result_* variables
# (raw counts: requests, duration, CPU ticks of the server, accepted
# connections, latency percentiles, errors).
run_wrk() {
  local name=$1 pid=$2 target=$3 seconds=$4 out="$work/wrk_$1.txt"
  local cpu_before opens_before line
  cpu_before=$(cpu_ticks "$pid")
  opens_before=$(passive_opens)
  timeout $((seconds + 120)) "${client_cpu[@]}" wrk "${wrk_headers[@]}" -t1 -c"$connections" -d"${seconds}s" --timeout 10s \
    -s "$root/bench/wrk_new_connection.lua" "$target" >"$out" 2>&1 || true
  result_ticks=$(($(cpu_ticks "$pid") - cpu_before))
  result_opens=$(($(passive_opens) - opens_before))
  line=$(grep '^RESULT' "$out" || true)
  if [ -z "$line" ]; then
    echo "wrk gave no result for $name:" >&2; cat "$out" >&2; exit 1
  fi
  result_requests=$(result_field requests "$line")
  result_duration_us=$(result_field duration_us "$line")
  result_p50=$(result_field p50_us "$line")
  result_p99=$(result_field p99_us "$line")
  result_errors=$(result_field errors "$line")
  result_non2xx=$(result_field non2xx "$line")
}

# measure SIDE PID URL: one measured run added to the totals of SIDE.
declare -A total
measure() {
  local side=$1
  run_wrk "$side" "$2" "$3" "$duration"
  local key
  for key in requests duration_us ticks opens p50 p99 errors non2xx; do
    local value="result_$key"
    total[$side.$key]=$((${total[$side.$key]:-0} + ${!value}))
  done
  total[$side.rounds]=$((${total[$side.rounds]:-0} + 1))
  awk -v s="$side" -v r="$result_requests" -v d="$result_duration_us" -v t="$result_ticks" \
      -v hz="$(getconf CLK_TCK)" -v p="$result_p50" \
    'BEGIN { printf "  %-6s %8.0f req/s, p50 %5d us, %5.1f us CPU/request\n", s, r / (d / 1e6), p, t * 1e6 / hz / r }'
}

# figure SIDE NAME: a figure over all rounds of SIDE.
figure() {
  local side=$1 hz
  hz=$(getconf CLK_TCK)
  awk -v r="${total[$side.requests]}" -v d="${total[$side.duration_us]}" \
      -v t="${total[$side.ticks]}" -v o="${total[$side.opens]}" -v n="${total[$side.rounds]}" \
      -v p50="${total[$side.p50]}" -v p99="${total[$side.p99]}" -v hz="$hz" -v what="$2" 'BEGIN {
    if (what == "rps") printf "%.0f", r / (d / 1e6)
    if (what == "p50") printf "%.0f", p50 / n
    if (what == "p99") printf "%.0f", p99 / n
    if (what == "cpu") printf "%.1f", r ? t * 1e6 / hz / r : 0
    if (what == "opens") printf "%.2f", r ? o / r : 0
  }'
}

