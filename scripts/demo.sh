#!/usr/bin/env bash
# The demo: builds the programs, lays out a demo install folder, installs the
# service silently, starts it through the Service Control Manager (the engine
# is a stand-in that listens on the engine port), stops and removes it, runs
# Runwell.exe on a sample task, and prints the logs.
# --keep leaves the demo folder in place for a look.
set -euo pipefail
cd "$(dirname "$0")/.."
keep=no
[ "${1:-}" = "--keep" ] && keep=yes

bash scripts/setup.sh
source scripts/wine-env.sh
echo "== Building"
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null
if [ "$MORVA_WINDOWS_PRESET" != windows ]; then
  echo "note: this kernel runs no 32-bit programs; the demo runs the x86_64 build"
  morva_build_runnable
fi

demo=$(mktemp -d /tmp/morva-demo.XXXXXX)
install="$demo/Plenor Suite"
keepalive=""
cleanup() {
  [ -n "$keepalive" ] && kill "$keepalive" 2>/dev/null || true
  wine_env_stop
  if [ "$keep" = yes ]; then echo "demo folder kept: $demo"; else rm -rf "$demo"; fi
}
trap cleanup EXIT
wine_env_start

# An install folder as the product's installer leaves it.
port=$((20000 + RANDOM % 20000))
mkdir -p "$install/data/logs" "$install/jre/bin" "$install/inputs" "$install/TaskLogs"
cp "$MORVA_WINDOWS_BIN/Morvasvc.exe" "$MORVA_WINDOWS_BIN/Runwell.exe" "$install/"
cp "$MORVA_WINDOWS_BIN/stand_in_engine.exe" "$install/jre/bin/javaw.exe"
: > "$install/morva7.jar"
printf 'DATA_FOLDER=data\r\nENGINE_PORT=%s\r\n' "$port" > "$install/engineSettings.jsd"
log="$install/data/logs/activityLog.jsd"

step() { echo; echo "== $*"; }
show_log() { tr -d '\r' < "$log" | sed '/^$/d; s/^/    /'; }

# Wine ends its services when no ordinary Wine program is left running.
(cd "$install" && morva_wine jre/bin/javaw.exe --sleep 300 </dev/null >/dev/null 2>&1) &
keepalive=$!

step "Installing the service: Morvasvc.exe install_51924706"
set +e
(cd "$install" && morva_wine Morvasvc.exe install_51924706 </dev/null)
echo "exit code: $?"
set -e
show_log

step "Starting it: net start Plenor7"
: > "$log"
morva_wine net start Plenor7 </dev/null 2>&1 | tr -d '\r' | sed 's/^/    /'
for _ in $(seq 1 50); do [ -s "$install/engine-started.txt" ] && break; sleep 0.2; done
sleep 1
echo "activity log:"; show_log
echo "the engine was started as:"; sed 's/^/    /' "$install/engine-started.txt"

step "The engine answers on port $port"
if exec 3<>"/dev/tcp/127.0.0.1/$port"; then
  printf 'NTSERVICE^CONFIRM_RUNNING_TO_NTSERVICE' >&3; exec 3>&-
  sleep 0.5
  echo "    connected and sent the confirm-running command"
fi
echo "commands the engine received:"; sed 's/^/    /' "$install/engine-commands.txt"

step "Stopping it: net stop Plenor7"
: > "$log"
morva_wine net stop Plenor7 </dev/null 2>&1 | tr -d '\r' | sed 's/^/    /'
sleep 1
echo "activity log:"; show_log
echo "commands the engine received:"; sed 's/^/    /' "$install/engine-commands.txt"

step "Removing the service: Morvasvc.exe remove_51924706"
: > "$log"
set +e
(cd "$install" && morva_wine Morvasvc.exe remove_51924706 </dev/null)
echo "exit code: $?"
set -e
show_log

step "Runwell.exe /t Nightly on a sample task"
printf '@echo Nightly backup ran > backup-done.txt\r\n@exit /b 0\r\n' > "$install/backup.bat"
install_win=$(morva_wine winepath -w "$install" 2>/dev/null | tr -d '\r')
printf 'cmd /c backup.bat\r\n%s\r\n1\r\n' "$install_win" > "$install/runwell_Nightly.txt"
echo "task data file runwell_Nightly.txt:"; tr -d '\r' < "$install/runwell_Nightly.txt" | sed 's/^/    /'
set +e
(cd "$install" && morva_wine Runwell.exe /t Nightly </dev/null)
code=$?
set -e
echo "exit code: $code"
echo "task log TaskLogs\\Nightly:"; tr -d '\r' < "$install/TaskLogs/Nightly" | sed 's/^/    /'; echo
echo "shared output log inputs\\outputLog.JSD:"; tr -d '\r' < "$install/inputs/outputLog.JSD" | sed 's/^/    /'; echo
echo "what the task wrote:"; sed 's/^/    /' "$install/backup-done.txt" 2>/dev/null || echo "    (nothing)"
