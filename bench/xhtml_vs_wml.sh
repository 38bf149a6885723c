#!/usr/bin/env bash
# What a page costs a browser against a phone: one Pocketlane serves "/" to
# wrk as a WAP phone asks for it (Accept: text/vnd.wap.wml) and as a browser
# does (Accept: text/html), in alternating rounds, and the server's CPU per
# request, requests/s and latency are printed side by side with the ratio
# XHTML/WML. The whole request counts: connection, parsing, the page's deck,
# and for the browser its conversion to XHTML.
#
# Usage:
#   bench/xhtml_vs_wml.sh [--page menu|welcome|login] [--binary PATH]
#                         [--duration S] [--rounds N] [--connections N] [--no-pin]
#
# Without --binary the script builds Pocketlane (build-bench/, Release).
# Loopback only.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
duration=5
rounds=4
connections=8
pin=1
page=menu
binary=""
while [ $# -gt 0 ]; do
  case "$1" in
    --page) page=$2; shift ;;
    --binary) binary=$2; shift ;;
    --duration) duration=$2; shift ;;
    --rounds) rounds=$2; shift ;;
    --connections) connections=$2; shift ;;
    --no-pin) pin=0 ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d'; exit 0 ;;
    *) echo "unknown option: $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done

bash "$root/scripts/setup.sh"
# shellcheck source=bench/bench_lib.sh
source "$root/bench/bench_lib.sh"
choose_cpus "$pin"
require_tools wrk curl ss
if [ -n "$binary" ]; then pocketlane_binary=$binary; else build_pocketlane; fi

prepare_pocketlane_site "$page"
port=$(free_port)
url="http://127.0.0.1:$port/"
start_server "$work/server.log" "$url" "${pocketlane_command[@]//@PORT@/$port}"
pid=$started_pid

declare -A accept=([wml]="text/vnd.wap.wml" [xhtml]="text/html")
for side in wml xhtml; do
  curl -s --max-time 10 -H "Accept: ${accept[$side]}" -D "$work/$side.headers" -o "$work/$side.body" "$url"
  type=$(awk -F': *' 'tolower($1) == "content-type" { sub(/\r$/, "", $2); print $2 }' "$work/$side.headers")
  echo "  $side: $type, $(stat -c %s "$work/$side.body") bytes"
done

# measure_as SIDE: one measured run with that side's Accept header.
measure_as() {
  wrk_headers=(-H "Accept: ${accept[$1]}")
  measure "$1" "$pid" "$url"
}

echo "wrk: 1 thread${client_cpu:+ on CPU 0, server on CPU 1}, $connections connections, $rounds x ${duration}s per side (order ABBA...), a new connection per request"
wrk_headers=(-H "Accept: text/html")
run_wrk warmup "$pid" "$url" 2
for round in $(seq "$rounds"); do
  if [ $((round % 2)) -eq 1 ]; then measure_as wml; measure_as xhtml; else measure_as xhtml; measure_as wml; fi
done

row() {
  local w x
  w=$(figure wml "$2"); x=$(figure xhtml "$2")
  printf '%-30s %12s %12s %12s\n' "$1" "$w" "$x" "$(ratio "$x" "$w")"
}
echo
printf '%-30s %12s %12s %12s\n' "pocketlane, \"/\" = $page" "WML" "XHTML" "XHTML/WML"
row "requests/s" rps
row "latency p50 (us)" p50
row "latency p99 (us)" p99
row "server CPU per request (us)" cpu
printf '%-30s %12s %12s\n' "errors (socket/non-2xx)" \
  "${total[wml.errors]}/${total[wml.non2xx]}" "${total[xhtml.errors]}/${total[xhtml.non2xx]}"
