#!/usr/bin/env bash
# One run lock for both programs: while the Linux program or Kelvaron.exe under Wine holds
# C:\Winpack\BULLS\MARKED.LCK of a station, neither program can take it, and either can once
# the holder has ended. Arguments: the Linux lock_child, the Windows lock_child.exe. Uses the
# Wine prefix of the test run ($WINEPREFIX, already started).
set -euo pipefail
linux=$1
windows=$2
[ -x "$linux" ] || { echo "SKIP: no Linux build at $linux"; exit 77; }
mkdir -p "$WINEPREFIX/drive_c/Winpack/BULLS"
trap 'rm -rf "$WINEPREFIX/drive_c/Winpack"' EXIT

say() { "$@" try </dev/null | tr -d '\r' || true; }

for holder in linux windows; do
  for taker in linux windows; do
    hold=("$linux") && [ $holder = windows ] && hold=(wine "$windows")
    take=("$linux") && [ $taker = windows ] && take=(wine "$windows")
    coproc HOLDER { "${hold[@]}" hold; }
    read -r said <&"${HOLDER[0]}"
    [ "${said%$'\r'}" = held ] || { echo "FAIL: the $holder holder said '$said'"; exit 1; }
    while_held=$(say "${take[@]}")
    exec {HOLDER[1]}>&-
    wait "$HOLDER_PID" || true
    after=$(say "${take[@]}")
    [ "$while_held" = refused ] || { echo "FAIL: $taker took the lock $holder held"; exit 1; }
    [ "$after" = taken ] || { echo "FAIL: $taker could not take the lock $holder let go"; exit 1; }
    echo "$holder holds, $taker is refused, and takes it after"
  done
done
