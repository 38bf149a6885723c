#!/usr/bin/env bash
# HTTP load on "/" of a server under test beside nginx serving the same bytes
# and beside the floor: a single-threaded blocking C server writing a prebuilt
# answer with the same body.
#
# Usage:
#   bench/http_vs_nginx.sh [options] [--url URL] [-- COMMAND ARGS...]
#
#   COMMAND starts the server under test in the foreground; "@PORT@" in the
#   command and in the URL is replaced by a free port. Without a command the
#   script builds Pocketlane (build-bench/, Release) and runs
#     build-bench/src/pocketlane --headless --port @PORT@ --settings FILE
#   with the URL http://127.0.0.1:@PORT@/, FILE being a fresh settings file in
#   which "/" is the main menu (no welcome page, no password, every module on).
#
#   --page welcome      "/" is the welcome page instead (picture and message)
#   --binary PATH       run this Pocketlane build instead of building one
#
#   --self-check        use a second nginx, set up like the reference one, as
#                       the server under test: the ratios should be near 1
#   --self-check-chunked  the same, but the second nginx sends its deck
#                       chunked (through its SSI filter, which costs CPU)
#   --duration S        seconds of each measured wrk run (default 10)
#   --rounds N          measured runs per server, in the order ABBA... (default 4)
#   --connections N     concurrent wrk connections (default 8)
#   --requests N        requests of the memory run (default 1000000)
#   --max-seconds S     upper bound of the memory run (default 900)
#   --no-pin            let the scheduler place wrk and the servers (by default
#                       wrk runs on CPU 0 and the servers on CPU 1)
#
# Examples:
#   bench/http_vs_nginx.sh
#   bench/http_vs_nginx.sh --url http://127.0.0.1:@PORT@/ -- build/src/pocketlane --headless --port @PORT@
#   bench/http_vs_nginx.sh --self-check --duration 5 --requests 200000
#
# What it does, on loopback only:
#   1. starts the server under test and fetches the exact body and content
#      type of its answer to the URL (curl decodes a chunked answer);
#   2. starts nginx (one worker, access log on) serving that body with that
#      content type, and the C floor (bench/c_floor_server.c, built here) with
#      the same body;
#   3. runs wrk against each for the same time (rounds alternate A B C C B A),
#      every request with
#      "Connection: close" so that each one opens a new TCP connection (as a
#      WAP gateway does); the kernel's count of accepted connections checks
#      that, and is printed per request;
#   4. reads the CPU time (utime+stime of the process and its children, from
#      /proc/PID/stat) before and after each run: CPU microseconds per request;
#   5. prints requests/s, p50/p99 latency (from the written request to the
#      complete answer, as wrk measures; the mean over the rounds) and CPU per
#      request side by side with the ratios server/nginx and server/floor;
#   6. sends --requests more requests to the server under test (stopped after
#      --max-seconds at the latest) and prints its VmRSS/VmHWM before and after.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
duration=10
rounds=4
connections=8
memory_requests=1000000
max_seconds=900
self_check=0
self_check_chunked=0
pin=1
url=""
command=()
page=menu
binary=""

while [ $# -gt 0 ]; do
  case "$1" in
    --self-check) self_check=1 ;;
    --self-check-chunked) self_check=1 self_check_chunked=1 ;;
    --no-pin) pin=0 ;;
    --duration) duration=$2; shift ;;
    --rounds) rounds=$2; shift ;;
    --connections) connections=$2; shift ;;
    --requests) memory_requests=$2; shift ;;
    --max-seconds) max_seconds=$2; shift ;;
    --url) url=$2; shift ;;
    --page) page=$2; shift ;;
    --binary) binary=$2; shift ;;
    --) shift; command=("$@"); break ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d'; exit 0 ;;
    *) echo "unknown option: $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done

bash "$root/scripts/setup.sh"
# shellcheck source=bench/bench_lib.sh
source "$root/bench/bench_lib.sh"
choose_cpus "$pin"
require_tools wrk nginx curl ss

# nginx with one worker on 127.0.0.1:PORT answering every path with the file
# BODY as CONTENT_TYPE; CHUNKED=1 sends it chunked, like a generated answer.
write_nginx_conf() {
  local dir=$1 port=$2 content_type=$3 body=$4 chunked=$5 ssi=""
  [ "$chunked" -eq 1 ] && ssi="ssi on; ssi_types *;"
  write_nginx_site_conf "$dir" "$port" "types { } default_type \"$content_type\"; try_files /body =404; $ssi"
  cp "$body" "$dir/www/body"
}

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
  timeout $((seconds + 120)) "${client_cpu[@]}" wrk -t1 -c"$connections" -d"${seconds}s" --timeout 10s \
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

# --- the server under test -------------------------------------------------
sut_port=$(free_port)
if [ "$self_check" -eq 1 ]; then
  printf '%s\n' '<?xml version="1.0"?>' \
    '<!DOCTYPE wml PUBLIC "-//WAPFORUM//DTD WML 1.1//EN" "http://www.wapforum.org/DTD/wml_1.1.xml">' \
    '<wml><card id="menu" title="Main Menu"><p>Welcome<br/><a href="/?S=0">Shared Folders</a><br/>' \
    '<a href="/?S=1">Graffiti</a><br/><a href="/?S=2">My Computer</a></p></card></wml>' >"$work/deck.wml"
  write_nginx_conf "$work/sut" "$sut_port" "text/vnd.wap.wml" "$work/deck.wml" "$self_check_chunked"
  command=(nginx -p "$work/sut" -c "$work/sut/nginx.conf" -e "$work/sut/error.log")
  url="http://127.0.0.1:$sut_port/"
  sut_name="nginx (self-check)"
elif [ ${#command[@]} -eq 0 ]; then
  if [ -n "$binary" ]; then pocketlane_binary=$binary; else build_pocketlane; fi
  welcome=N
  [ "$page" = welcome ] && welcome=Y
  # Its own settings, so that "/" is the main menu of every module whatever
  # the user running the benchmark has set.
  mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
  export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/config"
  "$pocketlane_binary" --settings "$work/settings.reg" --set ShowWelcomeGraphic=$welcome \
    --set WelcomeMessage=$welcome --set EnablePassword=N --set EnableSharedFolders=Y \
    --set EnableGraffiti=Y --set EnableMyComputer=Y >/dev/null
  command=("$pocketlane_binary" --headless --port @PORT@ --settings "$work/settings.reg")
  sut_name="pocketlane ($page)"
else
  sut_name=$(basename "${command[0]}")
fi
[ -n "$url" ] || url="http://127.0.0.1:@PORT@/"
url=${url//@PORT@/$sut_port}
command=("${command[@]//@PORT@/$sut_port}")
require_loopback "$url"

start_server "$work/sut.log" "$url" "${command[@]}"
sut_pid=$started_pid

curl -s --max-time 10 -D "$work/headers" -o "$work/body" "$url"
content_type=$(awk -F': *' 'tolower($1) == "content-type" { sub(/\r$/, "", $2); print $2 }' "$work/headers" | tail -1)
transfer=$(grep -qi '^transfer-encoding: *chunked' "$work/headers" && echo chunked || echo "not chunked")
echo "Server under test: ${command[*]}"
echo "  answer to $url: $(head -1 "$work/headers" | tr -d '\r'), $content_type, $(stat -c %s "$work/body") bytes, $transfer"

# --- nginx with the same bytes ----------------------------------------------
nginx_port=$(free_port)
write_nginx_conf "$work/nginx" "$nginx_port" "$content_type" "$work/body" 0
start_server "$work/nginx.log" "http://127.0.0.1:$nginx_port/" \
  nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log"
nginx_pid=$started_pid
path=$(sed -E 's#^[a-z]+://[^/]*##' <<<"$url")
nginx_url="http://127.0.0.1:$nginx_port${path:-/}"
curl -s --max-time 10 -o "$work/nginx_body" "$nginx_url"
cmp -s "$work/body" "$work/nginx_body" || { echo "nginx does not serve the same bytes" >&2; exit 1; }

# --- the C floor with the same body -----------------------------------------
cc -O2 -o "$work/c_floor_server" "$root/bench/c_floor_server.c"
floor_port=$(free_port)
floor_url="http://127.0.0.1:$floor_port${path:-/}"
start_server "$work/floor.log" "$floor_url" \
  "$work/c_floor_server" "$floor_port" "$content_type" "$work/body"
floor_pid=$started_pid
curl -s --max-time 10 -o "$work/floor_body" "$floor_url"
cmp -s "$work/body" "$work/floor_body" || { echo "the C floor does not serve the same bytes" >&2; exit 1; }

rss_start=$(memory_kb "$sut_pid" VmRSS)

# --- side by side -----------------------------------------------------------
# Rounds in the order A B C C B A, so that no server always runs on the
# state (sockets in TIME_WAIT, warm caches) that another left behind.
echo "wrk: 1 thread${client_cpu:+ on CPU 0, servers on CPU 1}, $connections connections, $rounds x ${duration}s per server (order ABCCBA...), a new connection per request"
run_wrk warmup_sut "$sut_pid" "$url" 2
run_wrk warmup_nginx "$nginx_pid" "$nginx_url" 2
run_wrk warmup_floor "$floor_pid" "$floor_url" 2
for round in $(seq "$rounds"); do
  if [ $((round % 2)) -eq 1 ]; then
    measure sut "$sut_pid" "$url"; measure nginx "$nginx_pid" "$nginx_url"
    measure floor "$floor_pid" "$floor_url"
  else
    measure floor "$floor_pid" "$floor_url"; measure nginx "$nginx_pid" "$nginx_url"
    measure sut "$sut_pid" "$url"
  fi
done

row() {
  local s n f
  s=$(figure sut "$2"); n=$(figure nginx "$2"); f=$(figure floor "$2")
  printf '%-30s %20s %18s %10s %8s %8s\n' "$1" "$s" "$n" "$f" "$(ratio "$s" "$n")" "$(ratio "$s" "$f")"
}
echo
printf '%-30s %20s %18s %10s %8s %8s\n' "" "$sut_name" "nginx (1 worker)" "C floor" "/nginx" "/floor"
row "requests/s" rps
row "latency p50 (us)" p50
row "latency p99 (us)" p99
row "server CPU per request (us)" cpu
printf '%-30s %20s %18s %10s\n' "new connections per request" "$(figure sut opens)" \
  "$(figure nginx opens)" "$(figure floor opens)"
printf '%-30s %20s %18s %10s\n' "errors (socket/non-2xx)" \
  "${total[sut.errors]}/${total[sut.non2xx]}" "${total[nginx.errors]}/${total[nginx.non2xx]}" \
  "${total[floor.errors]}/${total[floor.non2xx]}"
printf '%-30s %20s %18s %10s\n' "requests measured" "${total[sut.requests]}" \
  "${total[nginx.requests]}" "${total[floor.requests]}"

# --- memory after many requests ---------------------------------------------
echo
rss_before=$(memory_kb "$sut_pid" VmRSS)
hwm_before=$(memory_kb "$sut_pid" VmHWM)
echo "Memory run: $memory_requests requests to the server under test (at most ${max_seconds}s)"
# wrk runs for its whole duration even when the script stops its thread, so
# the run goes in rounds sized by the rate measured so far, each stopping
# after the requests still missing.
answered=0 errors_total=0 memory_start=$SECONDS rate=$(figure sut rps)
while [ "$answered" -lt "$memory_requests" ]; do
  left=$((max_seconds - (SECONDS - memory_start)))
  [ "$left" -ge 1 ] || break
  missing=$((memory_requests - answered))
  round=$(((missing * 11 / 10) / (rate > 0 ? rate : 1) + 1))
  [ "$round" -le "$left" ] || round=$left
  BENCH_REQUEST_LIMIT=$missing run_wrk memory "$sut_pid" "$url" "$round"
  answered=$((answered + result_requests))
  errors_total=$((errors_total + result_errors + result_non2xx))
  rate=$((result_requests / round))
done
memory_seconds=$((SECONDS - memory_start))
rss_after=$(memory_kb "$sut_pid" VmRSS)
hwm_after=$(memory_kb "$sut_pid" VmHWM)
kill -0 "$sut_pid" 2>/dev/null || echo "  the server under test is no longer running"
printf '  requests answered: %s in %ss (errors %s)\n' "$answered" "$memory_seconds" "$errors_total"
printf '  VmRSS: %s kB at start, %s kB before, %s kB after (%+d kB)\n' \
  "$rss_start" "$rss_before" "$rss_after" $((rss_after - rss_before))
printf '  VmHWM: %s kB before, %s kB after\n' "$hwm_before" "$hwm_after"
