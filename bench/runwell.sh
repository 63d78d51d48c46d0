#!/usr/bin/env bash
# Runwell under Wine: its time for a task that exits at once against the task
# started directly and through "cmd /c"; Runwell's own time measured from
# inside by its benchmark build (before the task's start, the start itself,
# after the task's exit); the time from the task's exit to
# Runwell's; messages per second with 16 and 64 writers appending to one
# shared output log at once. With LIMIT=1 it also measures, once, the time
# from the time limit to the end of the task's tree (a minute's wait).
# Usage: bench/runwell.sh [RUNS] [MESSAGES]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-40}
messages=${2:-500}

bash scripts/setup.sh
# A prefix of its own, so a benchmark never stops the tests' Wine server.
export WINEPREFIX=${WINEPREFIX:-$PWD/build/wineprefix-bench}
source scripts/wine-env.sh
morva_build_runnable
trap wine_env_stop EXIT
wine_env_start

work=$(mktemp -d /tmp/runwell-bench.XXXXXX)
trap 'wine_env_stop; rm -rf "$work"' EXIT
mkdir -p "$work/inputs" "$work/TaskLogs"
cp "$MORVA_WINDOWS_BIN"/{Runwell,runwell_timed,exit_now,spawn_timer,append_load,stamp_task,runwell_latency}.exe "$work/"
dir=$(morva_wine winepath -w "$work" 2>/dev/null | tr -d '\r')
printf '%s\\exit_now.exe\r\n%s\r\n0\r\n' "$dir" "$dir" > "$work/runwell_Bench.txt"

if [ "$MORVA_WINDOWS_PRESET" = windows ]; then
  build="i686, the shipped programs"
else
  build="x86_64; this kernel runs no 32-bit programs"
fi
echo "build: $MORVA_WINDOWS_PRESET ($build); $runs runs each; times in ms (median min max)"
time_of() {
  (cd "$work" && morva_wine spawn_timer.exe "$runs" "$1" </dev/null 2>/dev/null | tr -d '\r')
}
direct=$(time_of "$dir\\exit_now.exe")
viacmd=$(time_of "cmd /c $dir\\exit_now.exe")
runwell=$(time_of "$dir\\Runwell.exe /t Bench")
echo "task started directly : $direct"
echo "cmd /c task           : $viacmd"
echo "Runwell.exe /t task   : $runwell"
awk -v d="${direct%% *}" -v c="${viacmd%% *}" -v r="${runwell%% *}" 'BEGIN {
  printf "ratio Runwell/direct : %.2f\n", r / d
  printf "ratio Runwell/cmd    : %.2f\n", r / c
}'


# The benchmark build writes one line a run: microseconds since its entry
# before the task's start, once it runs, when its exit was seen, before
# Runwell's own exit.
rm -f "$work/runwell_timing.txt"
time_of "$dir\\runwell_timed.exe /t Bench" >/dev/null
spread() {  # column expression -> "median min max" in ms
  awk "{ print $1 }" "$work/runwell_timing.txt" | sort -g | awk '
    { v[NR] = $1 } END { printf "%.3f %.3f %.3f", v[int((NR + 1) / 2)] / 1000, v[1] / 1000, v[NR] / 1000 }'
}
echo "Runwell's own time, measured inside ($(wc -l <"$work/runwell_timing.txt") runs):"
echo "  from its entry to the task's start  : $(spread '$1')"
echo "    the first messages (both logs)    : $(spread '$5')"
echo "    reading the data file             : $(spread '$6 - $5')"
echo "    the command line's messages       : $(spread '$7 - $6')"
echo "    the job                           : $(spread '$1 - $7')"
echo "  the task's start (create and resume): $(spread '$2 - $1')"
echo "  from the task's exit to its own exit: $(spread '$4 - $3')"
(cd "$work" && morva_wine runwell_latency.exe "$runs" ${LIMIT:+limit} </dev/null 2>/dev/null | tr -d '\r')
for writers in 16 64; do
  (cd "$work" && morva_wine append_load.exe "$dir\\inputs\\outputLog.JSD" "$writers" "$messages" </dev/null 2>/dev/null | tr -d '\r')
done
