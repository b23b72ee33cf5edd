#!/usr/bin/env bash
# One station through the Linux run and through the Windows run under Wine (the same
# run_child program built for each, date fixed at 7 December 2026), run twice: the files
# below C:\Winpack, the trash entries and the messages must be the same.
# Arguments: the Linux run_child, the Windows run_child.exe. Uses the Wine prefix of the test
# run ($WINEPREFIX, already started).
set -euo pipefail
linux=$1
windows=$2
[ -x "$linux" ] || { echo "SKIP: no Linux build at $linux"; exit 77; }
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
wp="$WINEPREFIX/drive_c/Winpack"
trap 'rm -rf "$tmp" "$wp"' EXIT

# The sample station, and what makes the two systems' file layers differ if anything does:
# a group folder in another case, today's first names taken, 8-bit bytes in names and text,
# lines of every shape, a K mark of an earlier run, and numbers that try to leave their folder.
station() {
  local prefix=$1 w="$1/drive_c/Winpack"
  bash "$here/../scripts/make-station.sh" "$prefix"
  mkdir -p "$w/Archive/Bulls/ARES" "$w/Bulls/7" "$w/Bulls/8"
  printf 'earlier today\r\n' > "$w/Archive/Bulls/ARES/26120701.TXT"
  printf 'R:261207 #:000117\r\nFrom: PA3XYZ \xC4RT   @WW caf\xE9\nno line end' > "$w/Bulls/7/000117.TXT"
  printf 'R:261207 #:000118\r\nFrom: PA3XYZ WX     @WW\r' > "$w/Bulls/8/000118.TXT"
  { printf '[TO]\r\nARES\r\nWX\r\n4X4\r\n\xE4RT\r\n\r\n'; } > "$w/Bulls/Select.TXT"
  local marked
  marked=$(cat "$w/Bulls/MARKED.TXT")
  {
    printf '000117,B,\xC4RT\n000118\r\n000119,KB,ARES \r\n..\\..\\7,B\r\n\r\n'
    printf '%s' "$marked"
  } > "$w/Bulls/MARKED.TXT"
}

# Files below C:\Winpack and in the trash (relative path, checksum), the origins of the trash
# entries relative to drive_c, and the messages.
record() {  # prefix data messages out
  local prefix=$1 data=$2
  {
    (cd "$prefix/drive_c" && find Winpack -type f -print0 | sort -z | xargs -0 md5sum)
    (cd "$data/Trash/files" && find . -type f -print0 | sort -z | xargs -0 md5sum | sed 's/^/trash /')
    for info in "$data"/Trash/info/*.trashinfo; do
      [ -e "$info" ] || continue
      printf '%s -> %s\n' "$(basename "$info")" "$(sed -n 's/^Path=//p' "$info" | sed 's#.*/drive_c/##; s#.*/dosdevices/c:/##')"
    done | sort
    echo "-- messages"
    tr -d '\r' < "$3"
  } > "$4"
}

station "$tmp/linux"
mkdir -p "$tmp/ldata"
for i in 1 2; do
  WINEPREFIX="$tmp/linux" XDG_DATA_HOME="$tmp/ldata" "$linux" >> "$tmp/linux.msg"
done
record "$tmp/linux" "$tmp/ldata" "$tmp/linux.msg" "$tmp/linux.txt"

rm -rf "$wp"
station "$WINEPREFIX"
mkdir -p "$tmp/wdata"
for i in 1 2; do
  XDG_DATA_HOME="$tmp/wdata" wine "$windows" >> "$tmp/windows.msg"
done
record "$WINEPREFIX" "$tmp/wdata" "$tmp/windows.msg" "$tmp/windows.txt"

if ! diff -u "$tmp/linux.txt" "$tmp/windows.txt"; then
  echo "FAIL: the Linux and the Windows run left different results (- Linux, + Windows)"
  exit 1
fi
echo "differential: $(grep -c . "$tmp/linux.txt") lines of results the same on Linux and Windows"

# A MARKED.TXT that is a link to a file off drive C: (beside the prefix): both programs refuse
# it in the same words, leave the same files, and keep the link and the file it leads to.
off_drive() {  # prefix, name; then the run's command
  local prefix=$1 data=$tmp/$2.data list=$tmp/$2.list
  shift 2
  station "$prefix"
  mv "$prefix/drive_c/Winpack/Bulls/MARKED.TXT" "$list"
  ln -s "$list" "$prefix/drive_c/Winpack/Bulls/MARKED.TXT"
  mkdir -p "$data/Trash/files" "$data/Trash/info"
  local before
  before=$(md5sum < "$list")
  XDG_DATA_HOME="$data" "$@" < /dev/null > "$data.msg" || :
  record "$prefix" "$data" "$data.msg" "$data.txt"
  [ -L "$prefix/drive_c/Winpack/Bulls/MARKED.TXT" ] || echo "the link went" >> "$data.txt"
  [ "$(md5sum < "$list")" = "$before" ] || echo "the list changed" >> "$data.txt"
}
off_drive "$tmp/linuxoff" linuxoff env WINEPREFIX="$tmp/linuxoff" "$linux"
rm -rf "$wp"
off_drive "$WINEPREFIX" windowsoff wine "$windows"
rm -rf "$wp"
off="$tmp/linuxoff.data.txt"
if ! grep -q 'off drive C:' "$off" || grep -qE 'the (link went|list changed)' "$off" ||
  ! diff -u "$tmp/linuxoff.data.txt" "$tmp/windowsoff.data.txt"; then
  echo "FAIL: a list off drive C: was not refused alike (- Linux, + Windows):"
  cat "$off"
  exit 1
fi
echo "off drive C:: both refuse the list in the same words and leave the same files"

# A Cyrillic station: Windows in code page 1251 (Wine started in a Russian locale, made here
# from the locale sources; its file names stay UTF-8), the Linux program on a prefix whose
# registry records 1251 as Wine records it. The group of the selection list, чяё, is ЧЯЁ in
# the bulletins (bytes that Windows-1252 would case otherwise) and must be archived into the
# folder Чяё by both programs.
cyrillic_station() {
  local w="$1/drive_c/Winpack"
  bash "$here/../scripts/make-station.sh" "$1"
  mkdir -p "$w/Bulls/7"
  printf 'R:261207 #:000117\r\nFrom: PA3XYZ \xD7\xDF\xA8    @WW\r\n\xEF\xF0\xE8\xE2\xE5\xF2\r\n' \
    > "$w/Bulls/7/000117.TXT"
  printf '[TO]\r\nARES\r\n\xF7\xFF\xB8\r\n\r\n' > "$w/Bulls/Select.TXT"
  local marked
  marked=$(cat "$w/Bulls/MARKED.TXT")
  { printf '000117,B,\xD7\xDF\xA8\r\n'; printf '%s' "$marked"; } > "$w/Bulls/MARKED.TXT"
}
mkdir -p "$tmp/locale"
localedef -i ru_RU -f UTF-8 "$tmp/locale/ru_RU.UTF-8" >/dev/null 2>&1 || true
if [ -d "$tmp/locale/ru_RU.UTF-8" ]; then
  cyrillic_station "$tmp/linux1251"
  printf '[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\Codepage] 1733666000\n"ACP"="1251"\n' \
    > "$tmp/linux1251/system.reg"
  mkdir -p "$tmp/l1251data" "$tmp/w1251data"
  for i in 1 2; do
    WINEPREFIX="$tmp/linux1251" XDG_DATA_HOME="$tmp/l1251data" "$linux" >> "$tmp/linux1251.msg"
  done
  record "$tmp/linux1251" "$tmp/l1251data" "$tmp/linux1251.msg" "$tmp/linux1251.txt"
  rm -rf "$wp"
  cyrillic_station "$WINEPREFIX"
  for i in 1 2; do
    LOCPATH="$tmp/locale" LC_ALL=ru_RU.UTF-8 XDG_DATA_HOME="$tmp/w1251data" wine "$windows" \
      >> "$tmp/windows1251.msg"
  done
  record "$WINEPREFIX" "$tmp/w1251data" "$tmp/windows1251.msg" "$tmp/windows1251.txt"
  if ! diff -u "$tmp/linux1251.txt" "$tmp/windows1251.txt"; then
    echo "FAIL: in code page 1251 the Linux and the Windows run left different results"
    exit 1
  fi
  if ! grep -q ' Winpack/Archive/Bulls/Чяё/26120701.TXT$' "$tmp/linux1251.txt"; then
    echo "FAIL: the Cyrillic group was not archived into its folder Чяё"; cat "$tmp/linux1251.txt"
    exit 1
  fi
  echo "differential 1251: $(grep -c . "$tmp/linux1251.txt") lines the same, ЧЯЁ archived into Чяё"
else
  echo "differential 1251: skipped, no Russian locale can be made here (localedef)"
fi
rm -rf "$wp"

# Both programs at once on one station: while one run is surely in progress (stopped at its
# first bulletin, the run lock held), the other program's run is refused; then the first ends,
# and no bulletin is archived twice, no marked line doubled or torn.
declare -A run=([linux]="$linux" [windows]="wine $windows")
shape() { tr -d '\r' < "$wp/Bulls/MARKED.TXT" | awk '{ n[$0]++ } n[$0] == 2 { d++ } END { print NR, d + 0 }'; }
for first in linux windows; do
  second=$([ "$first" = linux ] && echo windows || echo linux)
  rm -rf "$wp" "$tmp/both"
  station "$WINEPREFIX"
  mkdir -p "$tmp/both"  # Wine's shell makes no trash in a data folder that is not there
  before=$(shape)
  export XDG_DATA_HOME="$tmp/both"
  coproc FIRST { ${run[$first]} pause; }
  read -r said <&"${FIRST[0]}"
  [ "${said%$'\r'}" = running ] || { echo "FAIL: the $first run did not start: $said"; exit 1; }
  refused=$(${run[$second]} </dev/null | tr -d '\r')
  exec {FIRST[1]}>&-
  ended=$(tr -d '\r' <&"${FIRST[0]}")
  wait "$FIRST_PID" || { echo "FAIL: the $first run ended badly"; exit 1; }
  unset XDG_DATA_HOME
  if ! grep -qx 'Another archive run is in progress.*' <<<"$refused"; then
    echo "FAIL: the $second run was not refused while the $first one ran:"; echo "$refused"; exit 1
  fi
  if [ "$(tail -1 <<<"$ended")" != "Kelvaron is Finnished." ]; then
    echo "FAIL: the $first run did not complete:"; echo "$ended"; exit 1
  fi
  copies=$(find "$wp/Archive/Bulls" -type f ! -name '26120701.TXT' -print0 | xargs -0 md5sum | awk '{print $1}')
  if [ "$(sort <<<"$copies" | uniq -d)" != "" ]; then
    echo "FAIL: $first first, a bulletin was archived twice"; exit 1
  fi
  if [ "$(shape)" != "$before" ]; then
    echo "FAIL: $first first, MARKED.TXT lost, doubled or tore lines"; exit 1
  fi
  echo "both at once, $first first: the $second run refused, $(wc -l <<<"$copies") bulletins archived once"
done
