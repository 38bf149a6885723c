-- wrk script for bench/http_vs_nginx.sh.
--
-- Every request carries "Connection: close": the server answers and closes
-- (or says it will), and wrk opens a new connection for the next request,
-- the way a WAP gateway fetches each page.
--
-- BENCH_REQUEST_LIMIT (environment): stop the thread after that many answers;
-- only set for the memory run, since a Lua callback per answer slows wrk.

wrk.headers["Connection"] = "close"

local limit = tonumber(os.getenv("BENCH_REQUEST_LIMIT") or "0")

if limit > 0 then
  local answered = 0
  function response(status, headers, body)
    answered = answered + 1
    if answered >= limit then
      wrk.thread:stop()
    end
  end
end

-- One machine-readable line that the shell script parses.
function done(summary, latency, requests)
  local e = summary.errors
  io.write(string.format(
    "RESULT requests=%d duration_us=%d p50_us=%d p99_us=%d errors=%d non2xx=%d\n",
    summary.requests, summary.duration, latency:percentile(50), latency:percentile(99),
    e.connect + e.read + e.write + e.timeout, e.status))
end
