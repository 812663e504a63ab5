#!/usr/bin/env bash
# Builds the release archives in dist/ with one command:
#   dist/hlpunpack-VERSION.zip        hlpunpack.wcx (32-bit) and hlpunpack.wcx64
#                                     (64-bit) for Windows, pluginst.inf, readme.txt
#   dist/hlpunpack-VERSION-linux.zip  hlpunpack.wcx for Linux, pluginst.inf, readme.txt
# VERSION is the project's (CMakeLists.txt), as `hlpunpack --version` tells it.
# Release builds go to build-release/; the toolchains are installed when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
bash scripts/install-deps.sh

build() {  # build DIR [cmake options...]
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DHLP_BUILD_TESTS=OFF "$@" >/dev/null
  cmake --build "$dir" -j"$jobs" --target hlpunpack_wcx hlpunpack
}
build build-release/linux
build build-release/win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake"
build build-release/win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake"

version=$(build-release/linux/hlpunpack --version | sed -n 's/^hlpunpack \([0-9][0-9.]*\)$/\1/p')
[ -n "$version" ] || { echo "make-release: no version from hlpunpack --version" >&2; exit 1; }

stage=build-release/stage
rm -rf "$stage"
mkdir -p "$stage/windows" "$stage/linux" dist
fill() {  # fill TEMPLATE OUTPUT crlf|lf
  sed "s/@VERSION@/$version/g" "$1" >"$2"
  [ "$3" = crlf ] && sed -i 's/$/\r/' "$2"
  return 0
}

# Symbols stripped: the archives are for users.
i686-w64-mingw32-strip -o "$stage/windows/hlpunpack.wcx" build-release/win32/hlpunpack.wcx
x86_64-w64-mingw32-strip -o "$stage/windows/hlpunpack.wcx64" build-release/win64/hlpunpack.wcx64
fill packaging/pluginst.inf.in "$stage/windows/pluginst.inf" crlf
fill packaging/readme-windows.txt.in "$stage/windows/readme.txt" crlf

strip --strip-unneeded -o "$stage/linux/hlpunpack.wcx" build-release/linux/hlpunpack.wcx
fill packaging/pluginst.inf.in "$stage/linux/pluginst.inf" lf
fill packaging/readme-linux.txt.in "$stage/linux/readme.txt" lf

windows_zip=$root/dist/hlpunpack-$version.zip
linux_zip=$root/dist/hlpunpack-$version-linux.zip
rm -f "$windows_zip" "$linux_zip"
# Fixed time stamps make the same sources give the same archives.
touch -d "@$(git log -1 --format=%ct 2>/dev/null || echo 0)" "$stage"/windows/* "$stage"/linux/*
(cd "$stage/windows" && zip -q -X "$windows_zip" hlpunpack.wcx hlpunpack.wcx64 pluginst.inf readme.txt)
(cd "$stage/linux" && zip -q -X "$linux_zip" hlpunpack.wcx pluginst.inf readme.txt)

bash packaging/check-release.sh "$windows_zip" windows "$version"
bash packaging/check-release.sh "$linux_zip" linux "$version"
