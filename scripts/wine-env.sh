# Sourced by the scripts: a private Wine prefix with a persistent server and a
# virtual display. Wine's daemons must not inherit our pipes, or callers that
# wait for end of output (ctest, CI) hang forever.
MORVA_ROOT=${MORVA_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$MORVA_ROOT/build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Where scripts/wine-test-run.sh notes a test program that Wine failed to start.
export MORVA_WINE_RETRY_LOG=${MORVA_WINE_RETRY_LOG:-$MORVA_ROOT/build/wine-retries.log}
XVFB_PID=""

# Wine's 32-bit loader is a 32-bit Linux program; some kernels run none. There
# the tests and the demo use the x86_64 build of the same sources.
if /usr/lib/wine/wine --version >/dev/null 2>&1 || ! [ -x /usr/lib/wine/wine64 ]; then
  MORVA_WINDOWS_PRESET=windows
  MORVA_WINE=wine
else
  MORVA_WINDOWS_PRESET=windows-x64
  MORVA_WINE=/usr/lib/wine/wine64
  export WINELOADER=/usr/lib/wine/wine64
fi
MORVA_WINDOWS_BIN=$MORVA_ROOT/build/$MORVA_WINDOWS_PRESET/bin

morva_wine() { "$MORVA_WINE" "$@"; }

# Builds, quietly, the Windows build that this machine can run.
morva_build_runnable() {
  cmake --preset "$MORVA_WINDOWS_PRESET" >/dev/null
  cmake --build --preset "$MORVA_WINDOWS_PRESET" >/dev/null
}

wine_env_start() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [ -z "${DISPLAY:-}" ]; then
    local n
    for n in $(seq 90 120); do
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
      XVFB_PID=$!
      export DISPLAY=":$n"
      break
    done
    local i
    for i in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break
      sleep 0.1
    done
  fi
  mkdir -p "$WINEPREFIX"
  # One already running (a developer's own) serves as well.
  wineserver -p >/dev/null 2>&1 </dev/null || true
  morva_wine wineboot >/dev/null 2>&1 </dev/null
  # Wine draws the window frames itself: there is no window manager on the
  # virtual display, and screenshots should show captions.
  morva_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 </dev/null || true
  morva_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null || true
}

wine_env_stop() {
  wineserver -k >/dev/null 2>&1 </dev/null || true
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
}
