#!/usr/bin/env bash
# The HTML edition in a real browser: the sample and three corpus files (one
# with tables and pictures, one full of hypergraphics, one Japanese) are
# written with --html, and headless Chromium renders index.html and a few
# topic pages of each. From the browser's own DOM dump, dom_check.py checks
# that every link and image names a file that was written and that the page
# text holds the topic's text; a screenshot of each page is left beside.
# Exit 77 (skipped) when Chromium is missing.
set -euo pipefail
tool=$1 sample=$2 corpus=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
browser=$(command -v chromium || command -v chromium-browser || true)
[ -n "$browser" ] || { echo "chromium is missing (bash scripts/install-deps.sh installs it)"; exit 77; }
rm -rf "$work"
mkdir -p "$work"
files=("$sample")
for name in bcb6ide__TEECHART.HLP win31sdk__DLGEDIT.HLP migalley__JAPANESE_MIG.HLP; do
  [ -f "$corpus/$name" ] && files+=("$corpus/$name")
done

render() {  # render PAGE OUTPUT_STEM
  local profile
  profile=$(mktemp -d "$work/profile.XXXXXX")
  local flags=(--headless --no-sandbox --disable-gpu --disable-quic --no-first-run
               --disable-background-networking --disable-component-update --disable-sync
               --user-data-dir="$profile" --window-size=1000,750)
  timeout 60 "$browser" "${flags[@]}" --dump-dom "file://$1" > "$2.dom" 2>/dev/null
  timeout 60 "$browser" "${flags[@]}" --screenshot="$2.png" "file://$1" >/dev/null 2>&1
  rm -rf "$profile"
  [ -s "$2.dom" ] && [ -s "$2.png" ]
}

status=0
for file in "${files[@]}"; do
  stem=$(basename "$file")
  stem=${stem%.*}
  out="$work/$stem"
  "$tool" -q --html -o "$out" "$file" > /dev/null
  # index.html, the first topics of the contents and the page with most links.
  pages=(index.html)
  mapfile -t listed < <(sed -n 's/^<li><a href="\([^"]*\)".*/\1/p' "$out/html/index.html" | head -n 3)
  pages+=("${listed[@]}")
  busiest=$(grep -c '<a href=' "$out"/html/*.html | sort -t: -k2 -n | tail -n 1 | cut -d: -f1)
  pages+=("$(basename "$busiest")")
  for page in "${pages[@]}"; do
    shot="$work/shots/$stem/${page%.html}"
    mkdir -p "$(dirname "$shot")"
    if ! render "$out/html/$page" "$shot"; then
      echo "FAIL $stem/$page: the browser rendered nothing"
      status=1
      continue
    fi
    python3 "$here/dom_check.py" "$out/html/$page" "$shot.dom" || status=1
  done
done
[ "$status" -eq 0 ] && echo "every page rendered, every reference resolves"
exit "$status"
