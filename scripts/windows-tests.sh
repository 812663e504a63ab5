#!/usr/bin/env bash
# Cross-builds the Windows plug-in with mingw-w64, 32-bit (build-win32:
# hlpunpack.wcx) and 64-bit (build-win64: hlpunpack.wcx64), and runs its
# tests: exports and imports (label "windows"), and the DLL loaded by the
# test host under Wine (label "wine"). The Linux build in build/ makes
# the reference every extracted entry is compared with.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

cmake -S . -B build >/dev/null
cmake --build build -j"$jobs" --target hlpunpack hlpunpack_wcx wcx_host make_attack_files

for target in i686:build-win32 x86_64:build-win64; do
  arch=${target%%:*}
  dir=${target#*:}
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
    -DHLP_LINUX_BUILD_DIR="$root/build" -DHLP_WINEPREFIX="$root/build-wine/prefix"
  cmake --build "$dir" -j"$jobs"
  # Wine now and then fails to start a program on a loaded machine: a
  # failed test gets one more try.
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --repeat until-pass:2)
done
