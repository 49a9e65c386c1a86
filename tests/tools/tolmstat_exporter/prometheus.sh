#!/bin/bash
# tolmstat_exporter scraped by a real Prometheus (1 s scrape interval, its data
# in a scratch directory) in the private namespace: the rate and a gauge as
# Prometheus' HTTP API gives them against tolmstat's own; the text checked by
# promtool; no daemon: tolm_up 0, still 200, fast; 100 concurrent scrapes; and
# HTTPS with basic authentication, with a self-signed certificate made here.
# Usage: prometheus.sh BUILD_DIR
set -u
. "$(dirname "$(readlink -f "$0")")/../../node-test.sh" prometheus "$1"
for tool in prometheus promtool curl openssl python3; do
    command -v "$tool" >/dev/null || { echo "prometheus: $tool is missing" >&2; exit 1; }
done
W=$(mktemp -d /tmp/tolmprom.XXXXXX)
PIDS=()
cleanup() {
    for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    [ -n "${KEEP:-}" ] || rm -rf "$W"
}
trap cleanup EXIT

"$SIM" --root "$W/sim" >"$W/sim.log" 2>&1 &
PIDS+=($!)
for _ in $(seq 1 100); do grep -q "serving under" "$W/sim.log" && break; sleep 0.1; done
TOLM_SIM_ROOT="$W/sim" LD_PRELOAD="$PRELOAD" "$DAEMON" --nodaemon --base 1 >"$W/daemon.log" 2>&1 &
DPID=$!
PIDS+=($DPID)
"$EXPORTER" --web.listen-address=127.0.0.1:9746 --web.max-requests=200 >"$W/exporter.log" 2>&1 &
PIDS+=($!)
for _ in $(seq 1 100); do
    [ "$("$TOLMSTAT" timestamps 2>/dev/null | wc -l)" -ge 3 ] && curl -sf http://127.0.0.1:9746/ >/dev/null && break
    sleep 0.1
done

cat >"$W/prometheus.yml" <<YML
global:
  scrape_interval: 1s
  scrape_timeout: 1s
scrape_configs:
  - job_name: tolm
    static_configs:
      - targets: ['127.0.0.1:9746']
YML
prometheus --config.file="$W/prometheus.yml" --storage.tsdb.path="$W/prom" \
    --web.listen-address=127.0.0.1:9090 >"$W/prometheus.log" 2>&1 &
PIDS+=($!)
query() {
    curl -sf --data-urlencode "query=$1" ${2:+--data-urlencode "time=$2"} http://127.0.0.1:9090/api/v1/query |
        python3 -c 'import json,sys; r=json.load(sys.stdin)["data"]["result"]; print(r[0]["value"][1] if r else "")'
}
# Fifteen scrapes or more, then the same instant asked twice.
for _ in $(seq 1 200); do
    [ "$(query 'count_over_time(up[15s])' 2>/dev/null)" -ge 15 ] 2>/dev/null && break
    sleep 0.2
done
[ "$(query 'up{job="tolm"}')" = 1 ] || fail "up in Prometheus: $(query 'up')"
[ "$(query 'tolm_up')" = 1 ] || fail "tolm_up in Prometheus"
# The counter of one scrape is the value of the snapshot it names.
now=$(date +%s)
value=$(query 'tolm_fcd_global_read_ios_total' "$now")
stamp=$(query 'tolm_snapshot_timestamp_seconds{record="fcd"}' "$now")
row=$("$TOLMSTAT" csv fcd global.readIOs --from "$((${stamp:-1} - 1))" --to "${stamp:-1}" | tail -1)
[ -n "$value" ] && [ "$row" = "$stamp,$value" ] || fail "the scraped counter: Prometheus $stamp,$value, tolmstat $row"
# The rate over the same fifteen seconds: Prometheus extrapolates from its
# scrape times, tolmstat takes the snapshots' own, so they agree closely.
rate=$(query 'rate(tolm_fcd_global_read_ios_total[15s])' "$now")
ours=$("$TOLMSTAT" rate fcd --from "$((stamp - 15))" --to "$stamp" | awk '$1 == "global.readIOs" {sub("/s", "", $3); print $3}')
python3 -c "import sys; p, o = float('${rate:-0}'), float('${ours:-0}'); sys.exit(0 if o > 0 and abs(p - o) <= 0.25 * o else 1)" ||
    fail "read rate: Prometheus ${rate:-none}, tolmstat rate fcd ${ours:-none}"
echo "read IOs per second over 15 s: Prometheus $rate, tolmstat $ours"
gauge=$(query 'tolm_mgmtproc_vmrss_bytes{process="tomcat"}')
want=$("$TOLMSTAT" latest mgmtproc --json | python3 -c 'import json,sys; print(json.load(sys.stdin)["tomcat"]["vmrss"] * 1024)')
[ -n "$gauge" ] && [ "$gauge" = "$want" ] || fail "tomcat's resident bytes: Prometheus ${gauge:-none}, tolmstat $want"
age=$(query 'tolm_snapshot_age_seconds{record="nblade"}')
python3 -c "import sys; sys.exit(0 if 0 <= float('${age:-99}') < 5 else 1)" || fail "snapshot age ${age:-none}"

# The text, as promtool sees it: no error, no warning.
curl -sf http://127.0.0.1:9746/metrics >"$W/metrics.txt" || fail "a scrape"
promtool check metrics <"$W/metrics.txt" >"$W/promtool.out" 2>&1 || fail "promtool: $(head -5 "$W/promtool.out")"
[ -s "$W/promtool.out" ] && fail "promtool warns: $(head -5 "$W/promtool.out")"
# gzip as curl asks for it.
curl -sf --compressed -o "$W/zipped.txt" -D "$W/zipped.head" http://127.0.0.1:9746/metrics || fail "a gzip scrape"
grep -qi '^content-encoding: gzip' "$W/zipped.head" && grep -q '^tolm_up 1$' "$W/zipped.txt" || fail "gzip round trip"

# 100 scrapes at once (Prometheus' among them): all answered.
for i in $(seq 1 100); do
    curl -s -o /dev/null -w '%{http_code}\n' http://127.0.0.1:9746/metrics >"$W/c.$i" &
done
wait_for() { for _ in $(seq 1 300); do [ "$(cat "$W"/c.* 2>/dev/null | wc -l)" -ge 100 ] && return; sleep 0.1; done; }
wait_for
[ "$(cat "$W"/c.* | grep -c '^200$')" = 100 ] || fail "100 concurrent scrapes: $(sort "$W"/c.* | uniq -c | tr '\n' ' ')"

# HTTPS and basic authentication.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost -addext subjectAltName=DNS:localhost \
    -keyout "$W/key.pem" -out "$W/cert.pem" >/dev/null 2>&1 || fail "openssl req"
hash=$(python3 -W ignore -c 'import crypt; print(crypt.crypt("s3cret", crypt.mksalt(crypt.METHOD_BLOWFISH, rounds=1024)))')
case $hash in '$2'*) ;; *) fail "no bcrypt hash from Python: $hash" ;; esac
cat >"$W/web.yml" <<YML
tls_server_config:
  cert_file: cert.pem
  key_file: key.pem
basic_auth_users:
  alice: '$hash'
YML
"$EXPORTER" --web.listen-address=127.0.0.1:9747 --web.config.file="$W/web.yml" >"$W/tls.log" 2>&1 &
PIDS+=($!)
for _ in $(seq 1 50); do curl -s --cacert "$W/cert.pem" https://localhost:9747/ >/dev/null && break; sleep 0.1; done
code() { curl -s -o /dev/null -w '%{http_code}' --cacert "$W/cert.pem" "$@"; }
[ "$(code https://localhost:9747/metrics)" = 401 ] || fail "HTTPS without credentials"
[ "$(code -u alice:wrong https://localhost:9747/metrics)" = 401 ] || fail "HTTPS with a wrong password"
[ "$(code -u alice:s3cret https://localhost:9747/metrics)" = 200 ] || fail "HTTPS with the right password"
curl -s -u alice:s3cret --cacert "$W/cert.pem" https://localhost:9747/metrics | grep -q '^tolm_up 1$' ||
    fail "the scrape over HTTPS"
[ "$(curl -s -o /dev/null -w '%{http_code}' http://localhost:9747/metrics)" = 200 ] && fail "plain HTTP on the HTTPS port"

# A hung daemon, then none: tolm_up 0, still 200, within 1.2 s.
scrapeDown() {
    local start took
    start=$(date +%s.%N)
    curl -s -o "$W/down.txt" -w '%{http_code}' http://127.0.0.1:9746/metrics >"$W/down.code"
    took=$(python3 -c "print(round($(date +%s.%N) - $start, 3))")
    [ "$(cat "$W/down.code")" = 200 ] && grep -q '^tolm_up 0$' "$W/down.txt" ||
        fail "$1: $(cat "$W/down.code"), $(grep tolm_up "$W/down.txt")"
    python3 -c "import sys; sys.exit(0 if $took < 1.2 else 1)" || fail "$1: the scrape took $took s"
    echo "$1: tolm_up 0 in $took s"
}
kill -STOP "$DPID"
scrapeDown "a stopped daemon"
kill -CONT "$DPID"
kill -TERM "$DPID"
wait "$DPID" 2>/dev/null
scrapeDown "no daemon"
if [ "$failures" -ne 0 ]; then echo "prometheus: $failures failures" >&2; exit 1; fi
echo "prometheus: all checks passed"
