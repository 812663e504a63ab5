#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

# With the argument "build", only what building the plug-in and the tool
# needs; without it, also everything the tests run.
if [ "${1:-}" = build ]; then
  build_missing=()
  for p in cmake make g++ nlohmann-json3-dev libstb-dev; do
    dpkg -s "$p" >/dev/null 2>&1 || build_missing+=("$p")
  done
  [ ${#build_missing[@]} -eq 0 ] && exit 0
  as_root=""
  [ "$(id -u)" -eq 0 ] || as_root="sudo"
  $as_root apt-get update
  $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y "${build_missing[@]}"
  exit 0
fi

# The Windows plug-in's cross builds and their tests under Wine; 32-bit
# Wine is a package of the i386 architecture.
windows_packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386 zip)
windows_missing=()
for p in "${windows_packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || windows_missing+=("$p")
done
if [ ${#windows_missing[@]} -gt 0 ]; then
  as_root=""
  [ "$(id -u)" -eq 0 ] || as_root="sudo"
  dpkg --print-foreign-architectures | grep -qx i386 || $as_root dpkg --add-architecture i386
  $as_root apt-get update
  $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${windows_missing[@]}"
fi

# clang with its runtime libraries (libFuzzer and the sanitizers) for the
# fuzz targets and the ThreadSanitizer build; the runtime package follows
# clang's major version (libclang-rt-14-dev for clang 14).
if ! dpkg -s clang >/dev/null 2>&1; then
  as_root=""
  [ "$(id -u)" -eq 0 ] || as_root="sudo"
  $as_root apt-get update
  $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y clang
fi
clang_runtime="libclang-rt-$(clang --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1)-dev"
if ! dpkg -s "$clang_runtime" >/dev/null 2>&1; then
  as_root=""
  [ "$(id -u)" -eq 0 ] || as_root="sudo"
  $as_root apt-get update
  $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y "$clang_runtime"
fi

# LibreOffice's writer without its desktop parts reads the topic files in
# the tests labelled "readers", next to unrtf; its recommended packages
# (Java, fonts, help) are not needed for that.
if ! dpkg -s libreoffice-writer-nogui >/dev/null 2>&1; then
  as_root=""
  [ "$(id -u)" -eq 0 ] || as_root="sudo"
  $as_root apt-get update
  $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends libreoffice-writer-nogui
fi

# chromium renders the HTML edition in the browser test (CTest label browser),
# driven by node through playwright-core, which the test installs with npm
# from tests/html/package-lock.json. node and npm are looked for as commands:
# a node of another origin brings its own npm. fp-utils brings Free Pascal's
# chmcmd and chmls, which compile and list the HTML Help project (CTest label
# htmlhelp).
packages=(cmake make g++ nlohmann-json3-dev libstb-dev tmux binutils libgtest-dev libgmock-dev libbenchmark-dev unrtf imagemagick libwmf-bin chromium fp-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
command -v node >/dev/null 2>&1 || missing+=(nodejs)
command -v npm >/dev/null 2>&1 || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
