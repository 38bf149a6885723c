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
#   --page login        "/" is the welcome page asking for the site password
#   --follow "A>B"      measure the page reached from the URL by following the
#                       link whose text contains A, then on that page B, ...
#                       (the program's own site shares a folder "share" of
#                       40 files and a subfolder), e.g. "Shared Folders>share"
#                       for a folder page, "Graffiti" for the board
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
follow=""
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
    --follow) follow=$2; shift ;;
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
  prepare_pocketlane_site "$page"
  command=("${pocketlane_command[@]}")
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
[ -z "$follow" ] || url=$(follow_links "$url" "$follow")

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
