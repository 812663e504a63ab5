#!/usr/bin/env bash
# Double Commander opens a help file through the Linux plug-in, under Xvfb:
# the plug-in is registered for "hlp" in a fresh configuration, the help
# file opened with Ctrl+PgDn, its first entry copied out with F5. wcx_spy
# logs every call the file manager makes; the listing and the copied entry
# must be those of the test host's own run.
#   doublecmd_smoke.sh PLUGIN SPY HOST HELPFILE WORKDIR
# Exit status 77 (a skip for CTest) when Double Commander, Xvfb or xdotool
# are missing. A screenshot of the listing is left in WORKDIR/listing.png.
set -euo pipefail

if [ "${1:-}" = "--inside-x" ]; then
  # Runs inside xvfb-run: drive the file manager with keys and a click.
  shift
  work=$1
  log=$work/spy.log
  doublecmd --config-dir="$work/config" --no-splash -L "$work/files/$(ls "$work/files")" -R "$work/out" \
    >"$work/doublecmd.out" 2>&1 &
  pid=$!
  trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null || true' EXIT
  window=""
  for _ in $(seq 1 60); do
    window=$(xdotool search --name "Double Commander" 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 1
  done
  [ -n "$window" ] || { echo "no Double Commander window"; exit 1; }
  sleep 2
  # The first key may only give the panel the focus: repeat until opened.
  for _ in $(seq 1 10); do
    xdotool key ctrl+Next
    sleep 2
    grep -q "ReadHeaderExW.*result=10" "$log" 2>/dev/null && break
  done
  grep -q "ReadHeaderExW.*result=10" "$log" 2>/dev/null || { echo "the help file was not opened"; exit 1; }
  sleep 1
  command -v import >/dev/null && import -window root "$work/listing.png"
  # Click the first entry below "..", copy it to the other panel (F5, Enter).
  for _ in $(seq 1 3); do
    xdotool mousemove --window "$window" 120 250 click 1
    sleep 1
    xdotool key F5
    sleep 2
    xdotool key Return
    for _ in $(seq 1 10); do
      grep -q "ProcessFileW.*operation=2" "$log" && break 2
      sleep 1
    done
  done
  sleep 1
  exit 0
fi

plugin=$1 spy=$2 host=$3 help_file=$4 work=$5
for tool in doublecmd xvfb-run xdotool; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (doublecmd-gtk, xvfb, xdotool)"; exit 77; }
done
rm -rf "$work"
mkdir -p "$work/config" "$work/files" "$work/out"
cp "$help_file" "$work/files/"
name=$(basename "$help_file")
cat >"$work/config/doublecmd.xml" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<doublecmd DCVersion="1.0.10" ConfigVersion="13">
  <Plugins Version="3">
    <WcxPlugins>
      <WcxPlugin Enabled="True">
        <ArchiveExt>hlp</ArchiveExt>
        <Path>$spy</Path>
        <Flags>388</Flags>
      </WcxPlugin>
    </WcxPlugins>
  </Plugins>
</doublecmd>
EOF

# What the entries must be: the test host's own walk over the same file.
"$host" walk "$plugin" "$work/files/$name" "$work/expected" >/dev/null

export HLP_SPY_PLUGIN=$plugin HLP_SPY_LOG=$work/spy.log
status=0
timeout 240 xvfb-run -a -s "-screen 0 1280x800x24" "$0" --inside-x "$work" || status=$?
log=$work/spy.log
[ -f "$log" ] || { echo "the plug-in was never loaded"; cat "$work/doublecmd.out"; exit 1; }

failed=0
check() {
  if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failed=1; fi
}
check "the file manager ran" '[ "$status" -eq 0 ]'
check "it loaded the plug-in" 'grep -q "^thread=[0-9]* load .* ok$" "$log"'
check "it opened the help file for listing" \
  'grep -q "OpenArchiveW name=\"$work/files/$name\" mode=0 handle=0x[0-9a-f]* result=0" "$log"'
listed=$(awk '/ReadHeaderExW/ { if ($0 ~ /result=10/) exit; match($0, /name="[^"]*"/); print substr($0, RSTART + 6, RLENGTH - 7) }' "$log")
expected=$(cut -f3 "$work/expected/manifest.txt")
check "it listed every entry, in order ($(echo $listed))" '[ "$listed" = "$expected" ]'
check "every entry was skipped with PK_SKIP, DestPath null" \
  '[ "$(grep -c "ProcessFileW.*operation=0 path=(null) name=\"\" result=0" "$log")" -ge "$(echo "$expected" | wc -l)" ]'
check "every open was closed" \
  '[ "$(grep -c "OpenArchiveW.*result=0" "$log")" -eq "$(grep -c "CloseArchive.*result=0" "$log")" ]'
extract=$(grep "ProcessFileW.*operation=2" "$log" | head -1 || true)
check "it extracted an entry with DestPath null and the full target in DestName" \
  '[[ "$extract" =~ path=\(null\)\ name=\"$work/out/[^\"/]+\"\ result=0 ]]'
if [[ "$extract" =~ name=\"$work/out/([^\"/]+)\" ]]; then
  entry=${BASH_REMATCH[1]}
  index=$(awk -F'\t' -v n="$entry" '$3 == n { print $1 }' "$work/expected/manifest.txt")
  check "the extracted $entry holds the entry's bytes" \
    '[ -n "$index" ] && cmp -s "$work/out/$entry" "$work/expected/$(printf "%03d" "$index").bin"'
fi
echo "threads: $(sed -n 's/^thread=\([0-9]*\) .*/\1/p' "$log" | sort -u | tr '\n' ' ')"
[ -f "$work/listing.png" ] && echo "screenshot of the listing: $work/listing.png"
exit $failed
