#!/usr/bin/env bash
# The run against a PostgreSQL registry across a network, measured on this machine: the same
# headless run (start-up to totals, answered Yes) through a proxy on loopback that holds every
# chunk for half a round trip (bench/delay_proxy.cpp), first with no delay, then with each round
# trip given; side by side, with the client-to-server turns the proxy counted, per case.
# Usage: scripts/latency-bench.sh BUILD_DIR [CASES] [RTT_MS ...]   (defaults: 2000 cases, 1 5)
# BUILD_DIR is a build with the tests and tools (extract-bench, mae-delay-proxy, mae-test-run).
# Starts the private server (scripts/pg-server.sh) and leaves it running; the registry is
# generated and loaded into it once, under a folder of its own in ${TMPDIR:-/tmp}.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="$(cd "${1:?usage: scripts/latency-bench.sh BUILD_DIR [CASES] [RTT_MS ...]}" && pwd)"
CASES="${2:-2000}"
shift $(($# < 2 ? $# : 2))
RTTS=("$@")
[ "${#RTTS[@]}" -gt 0 ] || RTTS=(1 5)
for tool in extract-bench mae-delay-proxy tests/mae-test-run; do
    [ -x "$BUILD_DIR/$tool" ] || { echo "latency-bench: no $BUILD_DIR/$tool" >&2; exit 2; }
done
./scripts/pg-server.sh start >/dev/null
eval "$(./scripts/pg-server.sh env)"
export MAE_PG_CONNECTION
WORK="$(mktemp -d "${TMPDIR:-/tmp}/mae-latency-XXXXXX")"
echo "registry: $CASES cases, generated and loaded in $WORK"
"$BUILD_DIR/extract-bench" --engine postgresql --cases "$CASES" --dir "$WORK" --keep \
    >"$WORK/load.log"
# A free port for the proxy.
PROXY_PORT=$((20000 + RANDOM % 40000))
while [ -n "$(ss -Htln "sport = :$PROXY_PORT" 2>/dev/null)" ]; do
    PROXY_PORT=$((20000 + RANDOM % 40000))
done
sed -i "s/Port=$MAE_PG_PORT;/Port=$PROXY_PORT;/" "$WORK/Meridane.ini"
grep -q "Port=$PROXY_PORT;" "$WORK/Meridane.ini" || { echo "latency-bench: no port in Meridane.ini" >&2; exit 1; }
printf '%-10s %10s %10s %12s %8s\n' "round trip" "seconds" "turns" "turns/case" "ratio"
base=""
for rtt in 0 "${RTTS[@]}"; do
    half_us=$(awk -v r="$rtt" 'BEGIN { printf "%d", r * 500 }')
    "$BUILD_DIR/mae-delay-proxy" "$PROXY_PORT" "$MAE_PG_PORT" "$half_us" "$WORK/turns-$rtt" \
        >"$WORK/proxy-$rtt.log" 2>&1 &
    proxy=$!
    for _ in $(seq 50); do grep -q listening "$WORK/proxy-$rtt.log" 2>/dev/null && break; sleep 0.1; done
    out="$WORK/out-$rtt"
    mkdir -p "$out"
    start=$(date +%s.%N)
    WINDIR="$WORK" "$BUILD_DIR/tests/mae-test-run" "$out" >"$WORK/run-$rtt.log" 2>&1 || true
    end=$(date +%s.%N)
    kill -TERM "$proxy"
    wait "$proxy" || true
    last="$(tail -n 1 "$WORK/run-$rtt.log")"
    [ "$last" = "outcome 2" ] || { echo "latency-bench: the run at $rtt ms ended: $last" >&2; exit 1; }
    seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
    turns=$(awk '/^turns/ { print $2 }' "$WORK/turns-$rtt")
    selected=$(grep -o 'box [0-9]* consolidated records were selected' "$WORK/run-$rtt.log" | awk '{ print $2 }')
    [ -n "$base" ] || base=$seconds
    printf '%-10s %10s %10s %12s %8s\n' "$rtt ms" "$seconds" "$turns" \
        "$(awk -v t="$turns" -v c="$selected" 'BEGIN { printf "%.2f", t / c }')" \
        "$(awk -v s="$seconds" -v b="$base" 'BEGIN { printf "%.2f", s / b }')"
    if [ "$rtt" != 0 ]; then
        for name in ConsolidatedAuditExtract.txt AbstractAuditExtract.txt extract.log; do
            cmp -s "$out/$name" "$WORK/out-0/$name" ||
                { echo "latency-bench: $name differs at $rtt ms" >&2; exit 1; }
        done
    fi
done
echo "files identical at every round trip"
