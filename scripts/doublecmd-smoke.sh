#!/usr/bin/env bash
# Optional: Double Commander opens the sample help file through the Linux
# plug-in under Xvfb (CTest label "doublecmd"). Installs doublecmd-gtk,
# Xvfb, xdotool and ImageMagick (for the screenshot) when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(doublecmd-gtk xvfb xauth xdotool imagemagick)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  as_root=""
  [ "$(id -u)" -eq 0 ] || as_root="sudo"
  $as_root apt-get update
  $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
cmake -S . -B build -DHLP_DOUBLECMD_TEST=ON >/dev/null
cmake --build build -j"$(nproc)" --target hlpunpack_wcx wcx_spy wcx_host
status=0
(cd build && ctest --output-on-failure -V -L doublecmd) || status=$?
# Leave the ordinary test run as it was.
cmake -S . -B build -DHLP_DOUBLECMD_TEST=OFF >/dev/null
exit $status
