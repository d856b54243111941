#!/usr/bin/env bash
# The same build as a Linux user would type it, in the current folder (laid out like the
# program's working folder), timing each step. Timings go to <timings file> in the bench
# driver's format: kind, what, seconds.
#
#   native_build.sh <disc folder> <sort list> <overlay code> <timings file>
set -euo pipefail
export LC_ALL=C  # EPOCHREALTIME with a decimal point
disc=$1 sort_list=$2 code=$3 timings=$4
: >"$timings"

# Microseconds from bash's own clock: no process is started to take the time.
step_start=0
begin() { step_start=${EPOCHREALTIME/./}; }
record() {  # kind what
  local end=${EPOCHREALTIME/./}
  local us=$((10#$end - 10#$step_start))
  printf '%s\t%s\t%d.%06d\n' "$1" "$2" $((us / 1000000)) $((us % 1000000)) >>"$timings"
}
# Regular files only, as copy takes them: a folder whose name matches is not copied.
copy_matching() {  # pattern-folder glob
  local files=() path
  for path in "$1"/$2; do [ -f "$path" ] && files+=("$path"); done
  # -f: a staged disc file is read-only, as on the disc, and an overlay file may replace it.
  if [ ${#files[@]} -gt 0 ]; then cp -f -- "${files[@]}" temp/; fi
}

build_start=${EPOCHREALTIME/./}
begin; mkdir temp; record command "mkdir temp"

# copy matches names without regard to case: so does the glob here.
shopt -s nullglob nocaseglob
for letter in b c d e f i m s t; do
  begin; copy_matching "$disc" "*.$letter*"; record command "cp *.$letter* temp/"
done
begin; copy_matching "files/$code" "*.???"; record command "cp files/$code/*.??? temp/"
shopt -u nullglob nocaseglob
begin; : >temp/CDDA2; record ours "placeholder"

begin
genisoimage -sort "$sort_list" -o QX7.ISO temp/ >/dev/null 2>genisoimage.log
record command "genisoimage -sort $sort_list -o QX7.ISO temp/"

begin; head -c 2097152 /dev/zero >QX7Track2.bin; record writer "head -c 2097152 /dev/zero (track 2)"
begin; dd if=data/qx72ip.bin of=QX7.ISO bs=32768 count=1 conv=notrunc status=none; record writer "dd conv=notrunc (boot area)"
begin
printf 'FILE "QX7.ISO" BINARY\r\n  TRACK 01 MODE1/2048\r\n    INDEX 01 00:00:00\r\nFILE "QX7Track2.bin" BINARY\r\n  TRACK 02 AUDIO\r\n    PREGAP 00:02:00\r\n    INDEX 01 00:00:00\r\n' >QX7.CUE
record writer "printf (cue sheet)"

begin; rm -r temp; record command "rm -r temp"
rm -f genisoimage.log
step_start=$build_start; record build "native pipeline"
