#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when missing.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

have_cmd i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686)
# Where the kernel runs no 32-bit Linux programs, Wine can only run 64-bit
# Windows programs; the tests then use an x86_64 build of the same sources.
have_cmd x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64)
have_cmd cmake || need+=(cmake)
# clang with its sanitizer and libFuzzer runtime, for the parsers' fuzzers.
have_cmd clang++ || need+=(clang)
[ -n "$(ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a 2>/dev/null)" ] ||
  need+=(libclang-rt-dev)
have_cmd ninja || need+=(ninja-build)
have_cmd Xvfb || need+=(xvfb)
[ -d /usr/src/googletest ] || need+=(googletest)
have_pkg wine || need+=(wine)
have_pkg wine64 || need+=(wine64)
have_pkg wine32:i386 || need+=(wine32:i386)

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${need[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync fails an index now and then: try again, and
# let the install say whether what was fetched is enough.
for attempt in 1 2 3; do
  $SUDO apt-get update -qq && break
  echo "setup: apt-get update failed (attempt $attempt), trying again"
  sleep 10
done
install() { $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
for attempt in 1 2 3; do
  install "${need[@]}" && exit 0
  echo "setup: apt-get install failed (attempt $attempt)"
  # The i386 indexes are the ones that lag behind; without 32-bit Wine the
  # tests run on the x86_64 build, which is better than running none.
  without32=()
  for package in "${need[@]}"; do
    [ "$package" = wine32:i386 ] || without32+=("$package")
  done
  if [ ${#without32[@]} -lt ${#need[@]} ] && install "${without32[@]}"; then
    echo "setup: wine32:i386 could not be installed; the Windows tests run on the x86_64 build"
    exit 0
  fi
  sleep 10
  $SUDO apt-get update -qq || true
done
exit 1
