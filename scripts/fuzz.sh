#!/usr/bin/env bash
# Runs every libFuzzer target for a fixed number of runs (default 1,000,000)
# from its committed seeds; non-zero when any target finds a crash, a hang, a
# leak or a sanitizer report. Usage: scripts/fuzz.sh [RUNS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-1000000}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(settings_reader module_settings task_data task_title command_line)

bash scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

status=0
for target in "${targets[@]}"; do
  scratch=build/fuzz/fuzz/scratch/$target
  mkdir -p "$scratch" build/fuzz/artifacts
  start=$(date +%s)
  if ASAN_OPTIONS=detect_leaks=1 "build/fuzz/fuzz/${target}_fuzzer" -runs="$runs" \
       -timeout=5 -artifact_prefix="build/fuzz/artifacts/${target}-" \
       "$scratch" "fuzz/corpus/$target" > "build/fuzz/${target}.log" 2>&1; then
    echo "$target: $runs runs clean in $(( $(date +%s) - start )) s ($(grep -c . <(ls "$scratch")) new inputs)"
  else
    echo "$target: FAILED, see build/fuzz/${target}.log and build/fuzz/artifacts/"
    tail -20 "build/fuzz/${target}.log"
    status=1
  fi
done
exit $status
