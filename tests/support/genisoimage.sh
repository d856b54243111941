#!/bin/sh
# Unix half of the test mkisofs.exe: runs genisoimage in the caller's Windows current folder
# and reports through the caller's private folder. The status file is renamed into place last,
# so the caller never reads a half-written code.
# usage: genisoimage.sh <unix current folder> <private folder> <genisoimage arguments>...
report=$2
if cd "$1"; then
  shift 2
  # data/tool-waits holds the build at the tool until the test removes it (two minutes at most);
  # data/tool-is-waiting tells the test that the tool has started and waits.
  waited=0
  [ -f data/tool-waits ] && : >data/tool-is-waiting
  while [ -f data/tool-waits ] && [ $waited -lt 2400 ]; do sleep 0.05; waited=$((waited + 1)); done
  rm -f data/tool-is-waiting
  # data/quarantine names a staged file to take away first, as a virus scanner may.
  if [ -f data/quarantine ]; then rm -f "temp/$(cat data/quarantine)"; fi
  # data/no-write: a build of the tool that ends well and writes nothing (one that takes no -o).
  # data/leave-out names a staged file the tool leaves out and still ends well, as a build of it
  # that cannot take a name does.
  if [ -f data/leave-out ]; then set -- -m "$(cat data/leave-out)" "$@"; fi
  if [ -f data/no-write ]; then
    : >"$report/stdout"; : >"$report/stderr"; status=0
  else
    genisoimage "$@" >"$report/stdout" 2>"$report/stderr" </dev/null
    status=$?
  fi
  # data/empty-boot-area: a sync client empties the boot-area file while the tool works.
  if [ -f data/empty-boot-area ]; then : >data/qx72ip.bin; fi
  # data/short-image: the tool ends well with its last 20 KiB unwritten, as genisoimage did on a
  # disk that filled just as it wrote its last buffer.
  if [ $status -eq 0 ] && [ -f data/short-image ]; then truncate -s -20K QX7.ISO; fi
  # data/long-image: an image 5 KiB longer than its volume, as some builds of the tool write.
  if [ $status -eq 0 ] && [ -f data/long-image ]; then truncate -s +5K QX7.ISO; fi
  # data/fail-after-write: the tool fails once it has written its image.
  if [ -f data/fail-after-write ]; then status=1; fi
  # data/closed-after-write: its console closed once it has written (STATUS_CONTROL_C_EXIT).
  if [ -f data/closed-after-write ]; then status=3221225786; fi
  echo $status >"$report/status.new"
else
  echo 126 >"$report/status.new"
fi
mv "$report/status.new" "$report/status"
