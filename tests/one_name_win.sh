#!/usr/bin/env bash
# Kelvaron.exe under Wine on a disk of Linux's that keeps one name a file (FAT or exFAT
# mounted there): Wine's server with the Linux build's one_name_disk preloaded, in which Wine
# makes its links. A run completes and gives its K marks.
# Arguments: libone_name_disk.so, run_child.exe; uses the test run's $WINEPREFIX.
set -euo pipefail
[ -f "$1" ] || { echo "SKIP: no Linux build at $1"; exit 77; }
here=$(cd "$(dirname "$0")" && pwd)
wp=$WINEPREFIX/drive_c/Winpack
# A server of the test's own, started and warmed as the suite's is (Wine's services would
# otherwise hold the output of the first program it runs), and the suite's again afterwards.
server() {
  wineserver -k 2>/dev/null || true
  wineserver -w
  env "$@" wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
}
trap 'server; rm -rf "$wp"' EXIT
server LD_PRELOAD="$1"
rm -rf "$wp"
bash "$here/../scripts/make-station.sh" "$WINEPREFIX"
said=$(wine "$2" 0 </dev/null | tr -d '\r')
marks=$(grep -c '^[0-9]*,K' "$wp/Bulls/MARKED.TXT" || true)
echo "$said ($marks K marks)"
[ "$said" = "Kelvaron is Finnished." ] && [ "$marks" -eq 9 ] || { echo FAIL; exit 1; }
