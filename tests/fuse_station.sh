#!/usr/bin/env bash
# A run on a station behind FUSE (the Windows partition through ntfs-3g, say), where the
# system's sync of a whole file system reaches no disk: each file the run leaves, each archive
# folder and Winpack's own must be synced by itself, or a power cut after the run loses them.
# Where the file system gives each name its own number, the run must finish all the same; and
# no line Winpack appends meanwhile may be lost, though each name of a file may have a size of
# its own in the kernel.
# Arguments: run_child, appender, and how the file system numbers files (tests/logging_fuse.py).
set -euo pipefail
run_child=$1 appender=$2 numbering=$3
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
[ -w /dev/fuse ] && [ "$(id -u)" = 0 ] || { echo "SKIP: no FUSE mount here"; exit 77; }
"$python" -c 'import fusepy' 2>/dev/null || { echo "SKIP: no python3-fusepy"; exit 77; }
tmp=$(mktemp -d)
mkdir "$tmp/behind" "$tmp/prefix" "$tmp/data"
"$python" "$here/logging_fuse.py" "$tmp/behind" "$tmp/prefix" "$tmp/log" "$numbering" \
  2> "$tmp/fuse.err" &
fuse=$!
# Each step has a time limit of its own, shorter than the suite's: a test killed by the suite
# would leave the mount behind.
trap 'umount "$tmp/prefix" 2>/dev/null || umount -l "$tmp/prefix" 2>/dev/null || true
      kill "$fuse" 2>/dev/null || true; wait "$fuse" 2>/dev/null || true; rm -rf "$tmp"' EXIT
for _ in $(seq 200); do mountpoint -q "$tmp/prefix" && break; sleep 0.05; done
if ! mountpoint -q "$tmp/prefix"; then
  refused='not permitted|Permission denied|device not found|failed to open /dev/fuse|mount failed'
  grep -qE "$refused" "$tmp/fuse.err" && { echo "SKIP: the mount was refused"; exit 77; }
  echo "FAIL: the file system did not start:"; cat "$tmp/fuse.err"; exit 1
fi
timeout 60 bash "$here/../scripts/make-station.sh" "$tmp/prefix"
: > "$tmp/log"

run() {  # prefix, the call to kill the run at (0: none); what it says
  WINEPREFIX=$1 XDG_DATA_HOME=$tmp/data timeout 60 "$run_child" "$2" < /dev/null | tr -d '\r'
}
said=$(run "$tmp/prefix" 0)
[ "$(tail -1 <<<"$said")" = "Kelvaron is Finnished." ] || { echo "FAIL: the run: $said"; exit 1; }

failed=0
expect() {  # kind path: the log must show a sync of it
  grep -qxF "$1 $2" "$tmp/log" || { echo "FAIL: no sync of $1 $2"; failed=1; }
}
cd "$tmp/behind"
copies=$(find drive_c/Winpack/Archive -type f | sort)
[ -n "$copies" ] || { echo "FAIL: no archive copies"; exit 1; }
for copy in $copies; do
  expect file "/$copy"
  expect folder "/$(dirname "$copy")"
done
expect file /drive_c/Winpack/Bulls/MARKED.TXT
expect folder /drive_c/Winpack/Bulls
# The user's trash is on another disk: the bulletins go to this one's own.
expect folder "/.Trash-$(id -u)/files"
expect folder "/.Trash-$(id -u)/info"
echo "$(wc -l <<<"$copies") copies, $(wc -l < "$tmp/log") syncs"
[ "$failed" -eq 0 ] || exit 1

# A run killed right after its copies got their archive names, before it flushed them: the
# next run trusts them and sends their bulletins to the trash, so it must flush them first.
# The call to kill at is found on an ordinary disk, where a run makes the same calls.
archived() {  # prefix: the copies under their archive names
  find "$1/drive_c/Winpack/Archive/Bulls" -path '*Kelvaron.tmp*' -prune -o -type f -print |
    wc -l
}
station() {  # prefix
  rm -rf "$1/drive_c/Winpack"
  timeout 60 bash "$here/../scripts/make-station.sh" "$1" > /dev/null
}
# The same calls on either numbering: once is enough.
if [ "$numbering" = inodes ]; then
  low=1 high=2000
  while [ "$low" -lt "$high" ]; do  # the first call at which every copy has its name
    mid=$(((low + high) / 2))
    station "$tmp/plain"
    (run "$tmp/plain" "$mid" > /dev/null || :) 2> /dev/null
    if [ "$(archived "$tmp/plain")" -ge "$(wc -l <<<"$copies")" ]; then
      high=$mid
    else
      low=$((mid + 1))
    fi
  done
  station "$tmp/prefix"
  (run "$tmp/prefix" "$low" > /dev/null || :) 2> /dev/null
  : > "$tmp/log"
  said=$(run "$tmp/prefix" 0)
  [ "$(tail -1 <<<"$said")" = "Kelvaron is Finnished." ] || { echo "FAIL: $said"; exit 1; }
  for copy in $copies; do
    expect file "/$copy"
    expect folder "/$(dirname "$copy")"
  done
  echo "killed at call $low, then $(wc -l < "$tmp/log") syncs"
  [ "$failed" -eq 0 ] || exit 1
fi
cd "$here"
# A file system in Python serves one call at a time, so a run may more often find the old list
# still written to when it must go on: what counts here is that no line is lost.
timeout 200 bash appender_runs.sh "$run_child" "$appender" 10 line "$tmp/prefix" 50
