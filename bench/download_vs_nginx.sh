#!/usr/bin/env bash
# Download of one large file from Pocketlane beside nginx (sendfile on)
# serving the same file.
#
# Usage:
#   bench/download_vs_nginx.sh [--size-mib N] [--rounds N] [--no-pin]
#
#   --size-mib N   size of the file (default 1024, 1 GiB)
#   --rounds N     downloads per server, in the order ABBA... (default 4)
#   --no-pin       let the scheduler place the reader and the servers (by
#                  default the reader runs on CPU 0 and the servers on CPU 1)
#
# What it does, on loopback only:
#   1. writes the file (a .gif, so that it goes out as a picture) in a
#      temporary folder, warm in the page cache;
#   2. builds Pocketlane (build-bench/, Release) and sets it up with its own
#      settings file so that the welcome page shows that file as its image;
#      each download takes the file link from a fresh welcome page;
#   3. starts nginx (one worker, sendfile on) with the file in its root;
#   4. the same reader (curl -o /dev/null) fetches the file from each in turn
#      (A B B A ...), checking the size that arrived;
#   5. prints the throughput of each (MiB/s, the mean over the rounds), the
#      ratio Pocketlane/nginx (target >= 0.90) and Pocketlane's VmRSS before
#      the first download and VmHWM after the last (target: < 16 MiB more).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
size_mib=1024
rounds=4
pin=1
while [ $# -gt 0 ]; do
  case "$1" in
    --size-mib) size_mib=$2; shift ;;
    --rounds) rounds=$2; shift ;;
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
require_tools nginx curl ss dd

# --- the file ----------------------------------------------------------------
mkdir -p "$work/nginx/www" "$work/runtime"
chmod 700 "$work/runtime"
file="$work/nginx/www/big.gif"
dd if=/dev/urandom of="$file" bs=1M count="$size_mib" status=none
size=$(stat -c %s "$file")
cat "$file" >/dev/null

# --- Pocketlane ---------------------------------------------------------------
build_pocketlane
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/config"
settings="$work/settings.reg"
"$pocketlane_binary" --settings "$settings" --set ShowWelcomeGraphic=Y \
  --set "ShowWelcomeGraphicFilename=$file" --set WelcomeMessage=N --set EnablePassword=N
pocketlane_port=$(free_port)
start_server "$work/pocketlane.log" "http://127.0.0.1:$pocketlane_port/" \
  "$pocketlane_binary" --headless --port "$pocketlane_port" --settings "$settings"
pocketlane_pid=$started_pid

pocketlane_file_url() {
  local link
  link=$(curl -s --max-time 10 "http://127.0.0.1:$pocketlane_port/" |
    sed -nE 's#.*<img src="([^"]*)".*#\1#p' | sed 's/&amp;/\&/g')
  [ -n "$link" ] || { echo "no image link on Pocketlane's welcome page" >&2; exit 1; }
  echo "http://127.0.0.1:$pocketlane_port$link"
}

# --- nginx --------------------------------------------------------------------
nginx_port=$(free_port)
write_nginx_site_conf "$work/nginx" "$nginx_port" "sendfile on; tcp_nopush on;"
start_server "$work/nginx.log" "http://127.0.0.1:$nginx_port/big.gif" \
  nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log"
nginx_pid=$started_pid
nginx_url="http://127.0.0.1:$nginx_port/big.gif"
require_loopback "$nginx_url"

# --- side by side ---------------------------------------------------------------
declare -A seconds_total
download() { # SIDE URL: one download, its time added to the total of SIDE
  local side=$1 url=$2 result got secs
  require_loopback "$url"
  result=$("${client_cpu[@]}" curl -s --max-time 600 -o /dev/null \
    -w '%{http_code} %{size_download} %{time_total} %{content_type}' "$url")
  read -r code got secs type <<<"$result"
  if [ "$code" != 200 ] || [ "$got" != "$size" ]; then
    echo "$side: status $code, $got of $size bytes" >&2; exit 1
  fi
  seconds_total[$side]=$(awk -v a="${seconds_total[$side]:-0}" -v b="$secs" 'BEGIN { print a + b }')
  awk -v s="$side" -v b="$size" -v t="$secs" -v ty="$type" \
    'BEGIN { printf "  %-10s %8.1f MiB/s (%s)\n", s, b / 1048576 / t, ty }'
}

echo "File: $size bytes; reader: curl${client_cpu:+ on CPU 0, servers on CPU 1}; $rounds downloads per server (order ABBA...)"
rss_before=$(memory_kb "$pocketlane_pid" VmRSS)
for round in $(seq "$rounds"); do
  if [ $((round % 2)) -eq 1 ]; then
    download pocketlane "$(pocketlane_file_url)"; download nginx "$nginx_url"
  else
    download nginx "$nginx_url"; download pocketlane "$(pocketlane_file_url)"
  fi
done
hwm_after=$(memory_kb "$pocketlane_pid" VmHWM)
rss_after=$(memory_kb "$pocketlane_pid" VmRSS)

throughput() { awk -v b="$size" -v n="$rounds" -v t="${seconds_total[$1]}" 'BEGIN { printf "%.1f", b * n / 1048576 / t }'; }
pocketlane_rate=$(throughput pocketlane)
nginx_rate=$(throughput nginx)
echo
printf '%-30s %14s %14s %8s\n' "" "pocketlane" "nginx" "ratio"
printf '%-30s %14s %14s %8s   (target >= 0.90)\n' "throughput (MiB/s)" \
  "$pocketlane_rate" "$nginx_rate" "$(ratio "$pocketlane_rate" "$nginx_rate")"
printf 'Pocketlane memory: VmRSS %s kB before, VmHWM %s kB after (%+d kB; target < 16384), VmRSS %s kB after\n' \
  "$rss_before" "$hwm_after" $((hwm_after - rss_before)) "$rss_after"
