#!/bin/sh
# Unix half of the test mkisofs.exe: runs genisoimage in the caller's Windows current folder
# and reports through the caller's private folder. The status file is renamed into place last,
# so the caller never reads a half-written code.
# usage: genisoimage.sh <unix current folder> <private folder> <genisoimage arguments>...
report=$2
if cd "$1"; then
  shift 2
  # data/tool-waits holds the build at the tool until the test removes it (two minutes at most).
  waited=0
  while [ -f data/tool-waits ] && [ $waited -lt 2400 ]; do sleep 0.05; waited=$((waited + 1)); done
  # data/quarantine names a staged file to take away first, as a virus scanner may.
  if [ -f data/quarantine ]; then rm -f "temp/$(cat data/quarantine)"; fi
  genisoimage "$@" >"$report/stdout" 2>"$report/stderr" </dev/null
  status=$?
  # data/short-image: the tool ends well with its last 20 KiB unwritten, as genisoimage did on a
  # disk that filled just as it wrote its last buffer.
  if [ $status -eq 0 ] && [ -f data/short-image ]; then truncate -s -20K QX7.ISO; fi
  echo $status >"$report/status.new"
else
  echo 126 >"$report/status.new"
fi
mv "$report/status.new" "$report/status"
