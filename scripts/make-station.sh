#!/usr/bin/env bash
# Makes a small sample Winpack station in the Wine prefix $1 (created if missing):
# twelve bulletins of four groups (ARES, WX and 4X4 selected through Select.TXT, SALE not),
# a marked line whose bulletin is missing, and one line past the prune limit.
set -euo pipefail
prefix=$1
wp="$prefix/drive_c/Winpack"
mkdir -p "$wp/Bulls" "$wp/Archive/Bulls"

crlf() { printf '%s\r\n' "$@"; }

crlf 1300 > "$wp/Bulls/Lastnum.txt"
crlf "[Settings]" "MYCALL=PA3XYZ" "PRUNE_SIZE=1000" > "$wp/Packet.ini"   # limit 300
crlf "[TO]" "ARES" "WX" "4X4" "" "SALE" > "$wp/Bulls/Select.TXT"

marked=()
bulletin() {  # number group subject
  local n=$1 g=$2 dir="$wp/Bulls/${1: -1}"
  mkdir -p "$dir"
  crlf "R:261207/0800Z @:PI8ABC.#ZH.NLD.EURO #:$n" \
       "$(printf 'From: PA3XYZ %-6s @WW %s' "$g" "$3")" \
       "" "$3." "73 de PA3XYZ" > "$dir/$n.TXT"
  marked+=("$(printf '%s,B,%-6s' "$n" "$g")")
}
bulletin 000101 ARES "Net tonight on 145.500"
bulletin 000102 WX "Storm warning North Sea"
bulletin 000103 SALE "FT-817 for sale"
bulletin 000104 ARES "Exercise on Saturday"
bulletin 000105 4X4 "Field day route"
bulletin 000106 WX "Frost expected"
bulletin 000107 ARES "Repeater maintenance"
bulletin 000108 SALE "Antenna mast"
bulletin 000109 WX "Heavy rain"
bulletin 000110 4X4 "Convoy update"
marked+=("000150,B,ARES  ")  # its bulletin is missing
bulletin 000300 ARES "Last one within the limit"
bulletin 000305 WX "Past the prune limit"
printf '%s\r\n' "${marked[@]}" > "$wp/Bulls/MARKED.TXT"
