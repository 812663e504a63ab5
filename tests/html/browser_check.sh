#!/usr/bin/env bash
# The HTML edition in a real browser:  browser_check.sh TOOL SAMPLE CORPUS WORK
# The sample (and a copy of it with a .cnt beside it) and corpus files of
# several kinds (tables and pictures, hypergraphics, Japanese, API
# references, keyword links) are written with --html into WORK, and
# browser_check.js drives Debian's Chromium over them through playwright-core
# (installed from package-lock.json into WORK/../node_modules). Screenshots of
# every page rendered are left in WORK/shots. Exit 77 (skipped) when
# Chromium, node or npm is missing.
set -euo pipefail
tool=$1 sample=$2 corpus=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
browser=$(command -v chromium || command -v chromium-browser || true)
[ -n "$browser" ] || { echo "chromium is missing (bash scripts/install-deps.sh installs it)"; exit 77; }
command -v node >/dev/null && command -v npm >/dev/null || { echo "node or npm is missing (bash scripts/install-deps.sh installs them)"; exit 77; }

# playwright-core drives the system's Chromium: no browser of its own.
modules=$(dirname "$work")/node
if ! cmp -s "$here/package-lock.json" "$modules/package-lock.json" || [ ! -d "$modules/node_modules" ]; then
  mkdir -p "$modules"
  cp "$here/package.json" "$here/package-lock.json" "$modules/"
  PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --prefix "$modules" --no-audit --no-fund >/dev/null \
    || { echo "FAIL npm ci of tests/html/package-lock.json into $modules"; exit 1; }
fi

rm -rf "$work"
mkdir -p "$work"
files=("$sample")
for name in bcb6ide__TEECHART.HLP win31sdk__DLGEDIT.HLP migalley__JAPANESE_MIG.HLP win31sdk__PENAPIWH.HLP \
            win31sdk__TESTDRVR.HLP undelphix__DelphiX.hlp; do
  [ -f "$corpus/$name" ] && files+=("$corpus/$name")
done
sites=()
for file in "${files[@]}"; do
  stem=$(basename "$file")
  "$tool" -q --html -o "$work/${stem%.*}" "$file" > /dev/null
  sites+=("$work/${stem%.*}")
done

# A contents file in the order and nesting a help author would give, not the
# help file's own order.
mkdir -p "$work/cnt"
cp "$sample" "$work/cnt/sample.hlp"
cat > "$work/cnt/sample.cnt" <<'CNT'
:Base sample.hlp
:Title hlpunpack Sample
1 Getting started
2 Welcome=welcome
2 Text and tables
3 Tables=tables
3 Formatting text=formatting
1 Pictures=pictures
1 More
2 Other windows
3 A secondary window=aside
2 Hotspot=def_hotspot
CNT
"$tool" -q --html -o "$work/cnt/sample" "$work/cnt/sample.hlp" > /dev/null

NODE_PATH="$modules/node_modules" CHROMIUM="$browser" \
  node "$here/browser_check.js" "$work/shots" "${sites[@]}" "cnt=$work/cnt/sample:$work/cnt/sample.cnt"
