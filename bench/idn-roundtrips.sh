#!/usr/bin/env bash
# "*IDN?" round trips per second through AddTask (bench_IdnRoundTrips) beside `lxi benchmark` of
# lxi-tools, both against the same simulated instrument over raw TCP and over VXI-11, in the same
# run, and the ratio of the two. Everything runs in a private network namespace that this script
# makes (its own loopback, its own /run and rpcbind, with which the VXI-11 simulator registers
# for lxi-tools to find it); no packet leaves it. Needs root (unshare) and lxi-tools.
#
#   bench/idn-roundtrips.sh [count]     count: round trips per measurement, 10000 by default
#
# The benchmark program comes from build/bench (a Release build, made here when missing), or
# from $ORVANTO_BENCH_BIN.
set -euo pipefail

count=${1:-10000}
root=$(cd "$(dirname "$0")/.." && pwd)
bench=${ORVANTO_BENCH_BIN:-$root/build/bench/bin/bench_IdnRoundTrips}

if [ -z "${ORVANTO_IDN_NAMESPACE:-}" ]; then
  command -v lxi >/dev/null || { echo "lxi (lxi-tools) is not installed" >&2; exit 1; }
  [ -x /usr/sbin/rpcbind ] || { echo "rpcbind is not installed" >&2; exit 1; }
  if [ ! -x "$bench" ]; then
    echo "building $bench ..." >&2
    cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$root/build/bench" -j "${ORVANTO_JOBS:-3}" --target bench_IdnRoundTrips >/dev/null
  fi
  exec unshare --net --mount --propagation private \
    env ORVANTO_IDN_NAMESPACE=1 ORVANTO_BENCH_BIN="$bench" "$0" "$@"
fi

# --- inside the private network ---
ip link set lo up
mount -t tmpfs -o mode=0755 tmpfs /run
mkdir -p /run/rpcbind

rpcbind_pid=
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  [ -n "$rpcbind_pid" ] && kill "$rpcbind_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

/usr/sbin/rpcbind -f -w &
rpcbind_pid=$!
for _ in $(seq 100); do
  (exec 3<>/dev/tcp/127.0.0.1/111) 2>/dev/null && break
  sleep 0.05
done
(exec 3<>/dev/tcp/127.0.0.1/111) 2>/dev/null || { echo "rpcbind did not come up" >&2; exit 1; }

# The simulators: raw TCP and VXI-11 (registered with rpcbind), served until their stdin closes.
coproc SIM { "$bench" --serve; }
sim_pid=$SIM_PID
read -r -t 10 -u "${SIM[0]}" _ raw_port
read -r -t 10 -u "${SIM[0]}" _ vxi_port
echo "simulated instrument: raw TCP on 127.0.0.1:$raw_port, VXI-11 core channel on 127.0.0.1:$vxi_port"

ours=$("$bench" --connect "$raw_port" "$vxi_port" "$count")
echo "$ours"
ours_raw=$(awk '$1 == "raw-tcp" { print $2 }' <<<"$ours")
ours_vxi=$(awk '$1 == "vxi-11" { print $2 }' <<<"$ours")

# lxi benchmark prints its count as it goes and ends with "Result: <n> requests/second".
lxi_rate() {
  lxi benchmark "$@" 2>&1 | tr '\r' '\n' | grep -o 'Result: [0-9.]*' | awk '{ print $2 }' | tail -1
}
lxi_raw=$(lxi_rate -a 127.0.0.1 -r -p "$raw_port" -c "$count")
lxi_vxi=$(lxi_rate -a 127.0.0.1 -c "$count")
[ -n "$lxi_raw" ] && [ -n "$lxi_vxi" ] || { echo "lxi benchmark gave no result" >&2; exit 1; }

printf '%d *IDN? round trips each, same simulators, same run\n' "$count"
printf '%-8s  %14s  %16s  %8s\n' "" "AddTask /s" "lxi benchmark /s" "ratio"
awk -v a="$ours_raw" -v b="$lxi_raw" 'BEGIN { printf "%-8s  %14.0f  %16.0f  %8.2f\n", "raw TCP", a, b, a / b }'
awk -v a="$ours_vxi" -v b="$lxi_vxi" 'BEGIN { printf "%-8s  %14.0f  %16.0f  %8.2f\n", "VXI-11", a, b, a / b }'
echo "(ratio = AddTask / lxi benchmark; AddTask includes the worker thread, the event hub and a VXI-11 link per exchange)"
