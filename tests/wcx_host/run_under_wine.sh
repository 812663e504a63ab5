#!/usr/bin/env bash
# One step of the Wine tests, in a private prefix, without a display and
# without Wine's debug chatter.
#   run_under_wine.sh PREFIX prefix|stop
#   run_under_wine.sh PREFIX run PROGRAM.exe ARGS...
#   run_under_wine.sh PREFIX walk HOST.exe DLL HELPFILE OUTDIR LINUX_HOST LINUX_PLUGIN
#   run_under_wine.sh PREFIX cli HLPUNPACK.exe HELPFILE OUTDIR LINUX_HLPUNPACK
#   run_under_wine.sh PREFIX attacks HLPUNPACK.exe GENERATOR OUTDIR LINUX_HLPUNPACK
set -euo pipefail
prefix=$1
action=$2
shift 2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# A detached server keeps Wine's own processes off the test's output pipe
# (CTest waits for that pipe to close) and lives on between tests.
start_server() {
  wineserver -p 120 </dev/null >/dev/null 2>&1 || true
}

case $action in
  prefix)
    mkdir -p "$prefix"
    start_server
    # The first start builds the prefix; that can take a while on a cold machine.
    timeout 600 wineboot -i </dev/null >/dev/null 2>&1
    echo "Wine prefix ready: $prefix ($(wine --version))"
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    ;;
  run)
    start_server
    timeout 500 wine "$@" </dev/null
    ;;
  walk)
    host=$1 dll=$2 file=$3 out=$4 linux_host=$5 linux_plugin=$6
    # The Linux build's run is the reference every entry is compared with.
    "$linux_host" walk "$linux_plugin" "$file" "$out.linux" >/dev/null
    start_server
    timeout 500 wine "$host" walk "$dll" "$file" "$out" "$out.linux" </dev/null
    ;;
  cli)
    exe=$1 file=$2 out=$3 linux_cli=$4
    rm -rf "$out" "$out.linux"
    "$linux_cli" -q -o "$out.linux" "$file"
    start_server
    timeout 500 wine "$exe" -q -o "$out" "$file" </dev/null
    diff -r "$out.linux" "$out"
    echo "the Windows tool extracted what the Linux tool does: $(ls "$out" | tr '\n' ' ')"
    ;;
  attacks)
    exe=$1 generator=$2 out=$3 linux_cli=$4
    check=$(dirname "$0")/html_attack_check.sh
    bash "$check" "$generator" "$out.linux" "$linux_cli"
    start_server
    bash "$check" "$generator" "$out" timeout 500 wine "$exe"
    diff -r "$out.linux" "$out"
    echo "the Windows tool's HTML editions of the attack files are the Linux tool's"
    ;;
  *)
    echo "run_under_wine.sh: unknown action $action" >&2
    exit 2
    ;;
esac
