#!/usr/bin/env bash
# The release package as an operator unpacks it: only what goes into an
# install folder at its top, the samples apart, and a readme with CR LF line
# ends that names no file the package lacks.
# Usage: package_test.sh CMAKE BUILD_DIR ZIP
set -euo pipefail
cmake=$1
zip=$(realpath "$3")
"$cmake" --build "$2" --target release_zip >/dev/null
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
"$cmake" -E tar xf "$zip"
top=Morva-7.02
status=0

expected="$top/Morvasvc.exe
$top/README.txt
$top/Runwell.exe
$top/samples/engineSettings.sample.jsd
$top/samples/ntServiceSettings.sample.jsd"
actual=$(find "$top" -type f | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
  printf 'the package holds:\n%s\nexpected:\n%s\n' "$actual" "$expected"
  status=1
fi

readme=$top/README.txt
if LC_ALL=C grep -n -v $'\r$' "$readme"; then
  echo "README.txt: the lines above do not end in CR LF"
  status=1
fi
if [ "$(tail -c 2 "$readme" | od -An -tx1 | tr -d ' \n')" != 0d0a ]; then
  echo "README.txt: the last line does not end in CR LF"
  status=1
fi

# Files the package would have to hold: programs, documents, pictures, and
# whatever it names under samples\ (the engine's own files are the engine's).
names=$(LC_ALL=C grep -o -E '[A-Za-z0-9_.\\-]+\.(exe|txt|md|png|bmp|zip)\b|samples\\[A-Za-z0-9_.-]+' "$readme" | sort -u)
for name in $names; do
  path=$top/$(printf '%s' "$name" | tr '\\' /)
  if [ ! -e "$path" ] && [ ! -e "$top/$(basename "$path")" ]; then
    echo "README.txt names $name, which the package lacks"
    status=1
  fi
done
[ $status -eq 0 ] && echo "package: $(echo "$actual" | wc -l) files, README.txt in CR LF"
exit $status
