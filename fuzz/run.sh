#!/usr/bin/env bash
# Builds and runs the fuzz targets.
#
#   fuzz/run.sh build                  configure and build build-fuzz with clang
#   fuzz/run.sh TARGET SECONDS [ARGS]  run one target (fuzz_open, fuzz_lz77, ...)
#   fuzz/run.sh campaign TARGET SECONDS [ARGS]
#                                      run TARGET for SECONDS in all, starting again
#                                      after each finding; executions are summed in
#                                      $HLP_FUZZ_WORK/TARGET/campaign.log
#   fuzz/run.sh smoke SECONDS          every target for SECONDS (and at most
#                                      HLP_FUZZ_SMOKE_RUNS runs, seed 1) each, from the
#                                      seeds alone (in build-fuzz/smoke); fails on a finding
#
# Corpora and findings live outside the repository, in $HLP_FUZZ_WORK
# (default /tmp/hlpunpack-fuzz): TARGET/corpus grows as the fuzzer finds new
# paths, TARGET/seeds is rebuilt on every run from the test builder,
# examples/ and the real help files of ../shared/corpus (copied there, never
# into the repository; for fuzz_open_salvage also damaged copies of them),
# TARGET/findings receives crashes, leaks, timeouts and
# out-of-memory inputs. Extra ARGS go to libFuzzer (e.g. -runs=N, -jobs=N).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build=${HLP_FUZZ_BUILD:-$repo/build-fuzz}
work=${HLP_FUZZ_WORK:-/tmp/hlpunpack-fuzz}
corpus_dir=${HLP_CORPUS_DIR:-$repo/../shared/corpus}
targets=(fuzz_open fuzz_open_salvage fuzz_open_html fuzz_lz77 fuzz_phrases fuzz_picture fuzz_macro fuzz_btree)
# Help-file inputs up to this size (and real help files up to it as seeds);
# 64 KiB by default, where timeouts and running out of memory count.
open_max_len=${HLP_FUZZ_OPEN_MAX_LEN:-65536}

build_targets() {
  CC=clang CXX=clang++ cmake -S "$repo" -B "$build" -DHLP_FUZZ=ON -DHLP_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j"${HLP_JOBS:-$(nproc)}" --target fuzz_targets
}

# Salvage starts also from real files already damaged, each way the salvage
# measurement damages them (its --copy, from the ordinary build when there).
damaged_seeds() {
  local f=$1 seeds=$2 kind
  local measure=${HLP_SALVAGE_MEASURE:-$repo/build/tests/salvage_measure/salvage_measure}
  [ -x "$measure" ] || return 0
  for kind in '|TOPIC' picture '|KWDATA' '|FONT' phrases 'phrase bit' scattered cut; do
    "$measure" --copy "$f" "$kind" "$seeds/damaged-${kind//[^a-z]/}-$(basename "$f")" >/dev/null 2>&1 || true
  done
}

# Seeds of one target: the builder's, plus real files where the input is a
# help file (the B+ tree target takes a mode byte before it).
make_seeds() {
  local target=$1 short=${1#fuzz_}
  short=${short%_salvage}  # fuzz_open_salvage and fuzz_open_html start from fuzz_open's seeds
  short=${short%_html}
  local seeds=$work/$target/seeds
  rm -rf "$seeds" "$work/builder-seeds"
  "$build/fuzz/make_fuzz_seeds" "$work/builder-seeds"
  mkdir -p "$seeds"
  cp "$work/builder-seeds/$short"/* "$seeds"/
  if [ "$short" = open ] || [ "$short" = btree ]; then
    local f
    for f in "$repo"/examples/*.hlp "$corpus_dir"/*.[hH][lL][pP] "$corpus_dir"/*.[mM][vV][bB]; do
      [ -f "$f" ] || continue
      [ "$(stat -c %s "$f")" -le "$open_max_len" ] || continue
      if [ "$short" = open ]; then
        cp "$f" "$seeds/$(basename "$f")"
        if [ "$target" != fuzz_open ]; then damaged_seeds "$f" "$seeds"; fi
      else
        { printf '\0'; cat "$f"; } > "$seeds/$(basename "$f")"
      fi
    done
  fi
}

run_target() {
  local target=$1 seconds=$2
  shift 2
  local max_len=65536
  [ "${target#fuzz_open}" != "$target" ] || [ "$target" = fuzz_btree ] && max_len=$((open_max_len + 1))  # mode byte
  make_seeds "$target"
  mkdir -p "$work/$target/corpus" "$work/$target/findings"
  # fuzz_open writes each input to a file: in memory that costs no disk.
  if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
  # A small quarantine keeps AddressSanitizer's own memory well below the
  # 256 MiB that counts as running out of memory.
  ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:detect_leaks=1:abort_on_error=1} \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1} \
    "$build/fuzz/$target" -max_total_time="$seconds" -timeout=2 -rss_limit_mb=256 -max_len="$max_len" \
      -dict="$repo/fuzz/hlp.dict" -close_fd_mask=3 -print_final_stats=1 \
      -artifact_prefix="$work/$target/findings/" "$@" \
      "$work/$target/corpus" "$work/$target/seeds"
}

case "${1:-}" in
  build) build_targets ;;
  smoke)
    seconds=${2:-20}
    build_targets
    # A fresh folder: the smoke run starts from the seeds alone.
    work=$build/smoke
    rm -rf "$work"
    for t in "${targets[@]}"; do
      echo "== $t for ${seconds}s"
      mkdir -p "$work/$t"
      # A fixed seed and a cap on runs make the smoke run repeat itself, so
      # a CI run finds nothing that the same run here did not.
      if ! run_target "$t" "$seconds" -seed=1 -runs="${HLP_FUZZ_SMOKE_RUNS:-20000}" >"$work/$t/log" 2>&1; then
        tail -n 60 "$work/$t/log"
        echo "fuzz smoke: $t failed; its input is in $work/$t/findings" >&2
        exit 1
      fi
      grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done )' "$work/$t/log" || true
    done ;;
  campaign)
    [ $# -ge 3 ] || { echo "usage: fuzz/run.sh campaign TARGET SECONDS [ARGS]" >&2; exit 2; }
    target=$2
    end=$((SECONDS + $3))
    shift 3
    mkdir -p "$work/$target/findings"
    total=0 quick=0
    while [ "$SECONDS" -lt "$end" ] && [ "$quick" -lt 3 ]; do
      started=$SECONDS
      last=$work/$target/last.log
      run_target "$target" $((end - SECONDS)) "$@" >"$last" 2>&1 && status=0 || status=$?
      runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$last" | tail -n 1)
      [ -n "$runs" ] || runs=$(sed -n 's/^#\([0-9]*\).*/\1/p' "$last" | tail -n 1)
      total=$((total + ${runs:-0}))
      coverage=$(grep -o 'cov: [0-9]*' "$last" | tail -n 1)
      echo "$(date '+%F %T') $target status=$status runs=${runs:-0} total=$total ${coverage}" >>"$work/$target/campaign.log"
      if [ "$status" -ne 0 ]; then
        cp "$last" "$work/$target/findings/log-$(date +%s)"
        # A seed that fails at once would fail every run: stop after three.
        if [ $((SECONDS - started)) -lt 30 ]; then quick=$((quick + 1)); else quick=0; fi
      fi
    done
    echo "$target: $total executions" ;;
  fuzz_*)
    [ $# -ge 2 ] || { echo "usage: fuzz/run.sh TARGET SECONDS [ARGS]" >&2; exit 2; }
    run_target "$@" ;;
  *) sed -n '2,/^set -euo/{/^set -euo/d;p}' "$0"; exit 2 ;;
esac
