#!/usr/bin/env bash
# Builds and runs every test: once in an ordinary build, once under
# AddressSanitizer and UndefinedBehaviorSanitizer (which also replays the
# fuzzers' findings in tests/regressions), then the threads stress test under
# ThreadSanitizer and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DHLP_BUILD_BENCH=ON  # benchmarks are built, not run
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-sanitize -DHLP_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --output-on-failure -j"$jobs")

# The Windows DLLs, cross-built and tested under Wine (CTest label "wine").
bash scripts/windows-tests.sh

# ThreadSanitizer, in a build of its own: the threads stress test only.
CC=clang CXX=clang++ cmake -S . -B build-tsan -DHLP_TSAN=ON
cmake --build build-tsan -j"$jobs" --target threads_stress_test
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 build-tsan/tests/stress/threads_stress_test

# A short run of every fuzz target from its seeds (fuzz/README.md), built
# with clang in build-fuzz. HLP_FUZZ_SMOKE_SECONDS sets the time per target.
HLP_JOBS=$jobs bash fuzz/run.sh smoke "${HLP_FUZZ_SMOKE_SECONDS:-20}"
