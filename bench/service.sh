#!/usr/bin/env bash
# The service module under Wine's Service Control Manager with the stand-in
# engine answering:
#  1. soak: period 0 (the shortest timer) for TICKS probes; the process's
#     handles, window-manager and graphics objects and private bytes after the
#     first 100 probes and at the end. Wine answers the handle and object
#     counts of another process with 0, so the Linux side of the same process
#     is shown as well: its open descriptors and its private resident memory;
#  2. cost: period 1 for WINDOW seconds; CPU time per hour of supervision
#     (extrapolated) and private bytes;
#  3. the time of one probe, through the module's own code.
# Usage: bench/service.sh [TICKS] [WINDOW]
set -euo pipefail
cd "$(dirname "$0")/.."
ticks=${1:-10000}
window=${2:-120}

bash scripts/setup.sh
# A prefix of its own, so a benchmark never stops the tests' Wine server.
export WINEPREFIX=${WINEPREFIX:-$PWD/build/wineprefix-bench}
source scripts/wine-env.sh
morva_build_runnable
work=$(mktemp -d /tmp/morva-service-bench.XXXXXX)
keepalive=""
cleanup() {
  [ -n "$keepalive" ] && kill "$keepalive" 2>/dev/null || true
  wine_env_stop
  rm -rf "$work"
}
trap cleanup EXIT
wine_env_start

install="$work/Quiddal"
port=$((20000 + RANDOM % 20000))
mkdir -p "$install/data/logs" "$install/jre/bin"
cp "$MORVA_WINDOWS_BIN"/{Morvasvc,process_stats,probe_timer}.exe "$install/"
cp "$MORVA_WINDOWS_BIN/stand_in_engine.exe" "$install/jre/bin/javaw.exe"
: > "$install/morva7.jar"
printf 'DATA_FOLDER=data\r\nENGINE_PORT=%s\r\n' "$port" > "$install/engineSettings.jsd"
(cd "$install" && morva_wine jre/bin/javaw.exe --sleep 3600 </dev/null >/dev/null 2>&1) &
keepalive=$!

settings() {  # the module settings file for a period of 0 to 255 minutes
  printf "\\x$(printf %02x "$1")\\x00\\x00\\x00\\x11jre\\\\bin\\\\javaw.exe\\x00\\x00\\x00\\x00\\x00" \
    > "$install/ntServiceSettings.jsd"
}
probes() { [ -f "$install/engine-commands.txt" ] && wc -l < "$install/engine-commands.txt" || echo 0; }
stats() {
  local windows linux pid
  windows=$(cd "$install" && morva_wine process_stats.exe Quiddal7 </dev/null 2>/dev/null | tr -d '\r')
  pid=$(pgrep -n -f 'Quiddal.Morvasvc.exe' || true)
  if [ -n "$pid" ]; then
    linux="linux: fds=$(ls "/proc/$pid/fd" | wc -l) $(grep -E '^RssAnon' "/proc/$pid/status" | tr -s ' \t' ' ') cpu_ticks=$(awk '{print $14 + $15}' "/proc/$pid/stat")"
  fi
  echo "$windows; ${linux:-linux: not found}"
}
wait_probes() { while [ "$(probes)" -lt "$1" ]; do sleep 0.5; done; }
run() { (cd "$install" && morva_wine "$@" </dev/null >/dev/null 2>&1) || true; }

if [ "$MORVA_WINDOWS_PRESET" = windows ]; then
  echo "build: windows (i686, the shipped programs)"
else
  echo "build: windows-x64 (x86_64; this kernel runs no 32-bit programs)"
fi
run Morvasvc.exe remove_51924706
run Morvasvc.exe install_51924706

echo "== soak: period 0, $ticks probes"
settings 0
rm -f "$install/engine-commands.txt"
start=$(date +%s)
morva_wine net start Quiddal7 </dev/null >/dev/null 2>&1 || true
wait_probes 100
echo "after $(probes) probes: $(stats)"
wait_probes "$ticks"
end=$(date +%s)
echo "after $(probes) probes: $(stats)"
echo "$(probes) probes in $((end - start)) s"
morva_wine net stop Quiddal7 </dev/null >/dev/null 2>&1 || true
sleep 2

echo "== cost: period 1, ${window} s"
settings 1
morva_wine net start Quiddal7 </dev/null >/dev/null 2>&1 || true
sleep 2
first=$(stats)
sleep "$window"
last=$(stats)
echo "start: $first"
echo "end:   $last"
# Linux's count of the process's CPU time, in ticks of 10 ms.
cpu0=${first##*cpu_ticks=}; cpu1=${last##*cpu_ticks=}
awk -v a="$cpu0" -v b="$cpu1" -v w="$window" 'BEGIN {
  printf "CPU time per hour of supervision: %.0f ms (%d ms over %d s)\n", (b - a) * 10 * 3600 / w, (b - a) * 10, w }'

echo "== one probe, and a bare exchange of the same bytes on the same port"
(cd "$install" && morva_wine probe_timer.exe "$port" 1000 </dev/null 2>/dev/null | tr -d '\r')
morva_wine net stop Quiddal7 </dev/null >/dev/null 2>&1 || true
sleep 1
run Morvasvc.exe remove_51924706
