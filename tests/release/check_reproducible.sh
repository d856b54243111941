#!/usr/bin/env bash
# check_reproducible.sh SOURCE-DIR OBJDUMP : runs the README's release commands in two copies of
# the sources, in two folders of different names and depths, and compares the two zips byte for
# byte; then checks the zipped exe as it ships.
set -euo pipefail
source_dir=$(cd "$1" && pwd)
objdump=$2
scratch=$(mktemp -d /tmp/korvante-release.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

# The README's "Release" section: its one fenced block of commands.
release_commands=$(awk '/^## Release/ { inside = 1; next } /^## / { inside = 0 }
  inside && /^```/ { fence = !fence; next } inside && fence' "$source_dir/README.md")
if [ -z "$release_commands" ]; then
  echo "FAILED: expected a fenced block of commands under '## Release' in README.md, found none"
  exit 1
fi

# The two copies build side by side: each spends much of its time in steps of one thread.
copies=("$scratch/a/KORVANTE" "$scratch/b/elsewhere/korvante-2")
builds=()
for copy in "${copies[@]}"; do
  mkdir -p "$copy"
  (cd "$source_dir" && git ls-files -co --exclude-standard -z | tar --null -T - -cf -) | tar -xf - -C "$copy"
  echo "== release commands in $copy"
  (cd "$copy" && bash -euo pipefail -c "$release_commands") > "$copy.log" 2>&1 &
  builds+=($!)
done
zips=()
for i in "${!copies[@]}"; do
  copy=${copies[$i]}
  wait "${builds[$i]}" ||
    { cat "$copy.log"; echo "FAILED: the release commands ended with an error in $copy"; exit 1; }
  zip=$(find "$copy/out" -maxdepth 2 -name 'KORVANTE2-*-win32.zip')
  [ -n "$zip" ] || { echo "FAILED: expected KORVANTE2-*-win32.zip under $copy/out, found none"; exit 1; }
  zips+=("$zip")
done

if ! cmp "${zips[0]}" "${zips[1]}"; then
  echo "FAILED: expected the same zip from both folders, found different bytes"
  unzip -lv "${zips[0]}"
  unzip -lv "${zips[1]}"
  exit 1
fi
echo "same zip from both folders: $(stat -c %s "${zips[0]}") bytes, entries $(unzip -Z1 "${zips[0]}" | paste -sd,)"

unzip -q "${zips[0]}" "KORVANTE 2.EXE" -d "$scratch/unzipped"
python3 "$(dirname "$0")/check_executable.py" "$objdump" "$scratch/unzipped/KORVANTE 2.EXE" \
  "$(dirname "$0")/windows_imports.tsv"
