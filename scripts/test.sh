#!/usr/bin/env bash
# Builds everything and runs every test: the native unit tests under
# sanitizers, then the Windows programs and their tests under Wine.
# Extra arguments go to ctest, e.g.:  scripts/test.sh -L unit   or   -R Nightly
# Without arguments it also gives every parser's fuzzer a short run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
source scripts/wine-env.sh

cmake --preset native >/dev/null
cmake --build --preset native
# The shipped 32-bit build is always built, even where it cannot be run.
cmake --preset windows >/dev/null
cmake --build --preset windows
if [ "$MORVA_WINDOWS_PRESET" != windows ]; then
  echo "note: this kernel runs no 32-bit programs; the Windows tests run on the x86_64 build"
  cmake --preset "$MORVA_WINDOWS_PRESET" >/dev/null
  cmake --build --preset "$MORVA_WINDOWS_PRESET"
fi

if [ $# -eq 0 ]; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz
fi

trap wine_env_stop EXIT
wine_env_start
: >"$MORVA_WINE_RETRY_LOG"

status=0
ctest --preset native "$@" || status=1
if [ $# -eq 0 ]; then ctest --preset fuzz || status=1; fi
ctest --preset "$MORVA_WINDOWS_PRESET" "$@" || status=1
if [ -s "$MORVA_WINE_RETRY_LOG" ]; then
  echo "note: Wine failed to start these test programs at the first try:"
  cat "$MORVA_WINE_RETRY_LOG"
fi
# Whether the shipped 32-bit programs themselves were the ones tested.
if [ "$MORVA_WINDOWS_PRESET" = windows ]; then
  echo "Windows tests ran on the i686 build (the shipped programs)"
else
  echo "Windows tests ran on the x86_64 build (this kernel runs no 32-bit programs)"
fi
exit $status
