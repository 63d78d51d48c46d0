#!/usr/bin/env bash
# The demo: builds the programs and runs Runwell.exe under Wine on a sample
# task, then prints both logs and the runner's exit code.
# --keep leaves the demo folder in place for a look.
set -euo pipefail
cd "$(dirname "$0")/.."
keep=no
[ "${1:-}" = "--keep" ] && keep=yes

bash scripts/setup.sh
source scripts/wine-env.sh
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null
if [ "$MORVA_WINDOWS_PRESET" != windows ]; then
  echo "note: this kernel runs no 32-bit programs; the demo runs the x86_64 build"
  cmake --preset "$MORVA_WINDOWS_PRESET" >/dev/null
  cmake --build --preset "$MORVA_WINDOWS_PRESET" >/dev/null
fi

demo=$(mktemp -d /tmp/morva-demo.XXXXXX)
cleanup() {
  wine_env_stop
  if [ "$keep" = yes ]; then echo "demo folder kept: $demo"; else rm -rf "$demo"; fi
}
trap cleanup EXIT
wine_env_start

# The engine lays out a runner's folder like this before it starts a task.
mkdir -p "$demo/inputs" "$demo/TaskLogs"
cp "$MORVA_WINDOWS_BIN/Runwell.exe" "$demo/"
printf '@echo Nightly backup ran at %%TIME%% > backup-done.txt\r\n@exit /b 0\r\n' > "$demo/backup.bat"
demo_win=$(morva_wine winepath -w "$demo" 2>/dev/null | tr -d '\r')
printf 'cmd /c backup.bat\r\n%s\r\n1\r\n' "$demo_win" > "$demo/runwell_Nightly.txt"

echo "== Task data file runwell_Nightly.txt"
cat "$demo/runwell_Nightly.txt"
echo
echo "== Running: Runwell.exe /t Nightly"
set +e
(cd "$demo" && morva_wine Runwell.exe /t Nightly </dev/null)
code=$?
set -e
echo "== Exit code: $code"
echo
echo "== Task log TaskLogs\\Nightly"
cat "$demo/TaskLogs/Nightly"; echo
echo
echo "== Shared output log inputs\\outputLog.JSD"
cat "$demo/inputs/outputLog.JSD"; echo
echo
echo "== What the task wrote (backup-done.txt)"
cat "$demo/backup-done.txt" 2>/dev/null || echo "(nothing)"
