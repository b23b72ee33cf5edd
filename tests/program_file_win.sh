#!/usr/bin/env bash
# Kelvaron.exe is one file for any Windows: it imports only the system's own DLLs, and it
# carries three icon images, the version block and the manifest.
set -euo pipefail
exe=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
command -v "$objdump" >/dev/null || { echo "SKIP: no $objdump"; exit 77; }
dump=$("$objdump" -p "$exe")
fail=0
system='^(ADVAPI32|COMCTL32|dwmapi|GDI32|KERNEL32|msvcrt|SHELL32|USER32)\.dll$'
while read -r dll; do
  if ! [[ $dll =~ $system ]]; then echo "FAIL: imports $dll"; fail=1; fi
done < <(sed -n 's/.*DLL Name: //p' <<<"$dump")
# The resource types at the top of the table, and the entries of each.
types=$(sed -n '/The .rsrc Resource Directory section/,/^$/p' <<<"$dump" |
        awk '/^[0-9a-f][0-9a-f][0-9a-f]   Entry: ID/ {t=$4} /^[0-9a-f][0-9a-f][0-9a-f]     Entry: ID/ {n[t]++} END {for (k in n) print k, n[k]}' |
        sort)
expect=$'0x000003, 3\n0x00000e, 1\n0x000010, 1\n0x000018, 1'  # icons, icon group, version, manifest
if [ "$types" != "$expect" ]; then echo "FAIL: resources"; echo "$types"; fail=1; fi
grep -q '1\.00\.0001' <(strings -el "$exe") || { echo "FAIL: no version 1.00.0001"; fail=1; }
grep -q 'The Kelvaron developers\. MIT licence' <(strings -el "$exe") ||
  { echo "FAIL: no LegalCopyright naming the licence"; fail=1; }
[ "$fail" -eq 0 ] && echo "Kelvaron.exe: system DLLs only; 3 icon images, version block, manifest"
exit "$fail"
