#!/usr/bin/env bash
# The installers' switches where no window can be made (no X display): they
# still install and remove the service, and say so in the activity log.
#   switches_without_display_test.sh RUNNER WINE MORVASVC_EXE
set -u
runner=$1 wine=$2 program=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
install="$dir/Headless"
mkdir -p "$install/data/logs"
: >"$install/morva7.jar"
printf 'DATA_FOLDER=data\r\n' >"$install/engineSettings.jsd"
cp "$program" "$install/Morvasvc.exe"
cd "$install" || exit 1

failed=0
for switch in install_51924706 remove_51924706; do
  env -u DISPLAY "$runner" "$wine" Morvasvc.exe "$switch" >/dev/null 2>&1 </dev/null
  status=$?
  if [ $status -ne 0 ]; then
    echo "FAILED: $switch without a display exited $status"
    failed=1
  fi
done
log=$(tr -d '\r' <data/logs/activityLog.jsd 2>/dev/null)
for entry in "Service installed via commandline.  Service name = Morva7" \
             "Service removed via commandline"; do
  if ! grep -qF "NT Service Module: $entry" <<<"$log"; then
    echo "FAILED: no log entry \"$entry\"; the log holds:"
    echo "$log"
    failed=1
  fi
done
exit $failed
