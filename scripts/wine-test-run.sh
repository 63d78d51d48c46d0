#!/usr/bin/env bash
# Runs one Windows test program under Wine for ctest:  wine-test-run.sh WINE PROGRAM [ARGS]
# Wine now and then fails to start a program at all: it ends at once with a
# failure status, having printed nothing. Such a start is tried once more and
# written to $MORVA_WINE_RETRY_LOG, so that a real failure still fails and a
# flaky start is seen rather than hidden.
wine=$1
shift
out=$(mktemp) || exit 1
trap 'rm -f "$out"' EXIT
"$wine" "$@" >"$out" 2>&1
status=$?
if [ $status -ne 0 ] && [ ! -s "$out" ]; then
  printf '%s exit status %d, nothing printed, started again: %s\n' \
    "$(date -u +%FT%TZ)" "$status" "$*" >>"${MORVA_WINE_RETRY_LOG:-/dev/null}"
  "$wine" "$@"
  exit $?
fi
cat "$out"
exit $status
