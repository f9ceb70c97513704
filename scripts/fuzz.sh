#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer),
# seeds their corpora from the stand-in provider's replies, and runs each for the given
# number of seconds. Exits non-zero on the first finding.
#   scripts/fuzz.sh [seconds per target] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] ||
  targets=(profile_reply update_reply address_reply decrypt validators)

scripts/install-dependencies.sh clang libclang-rt-dev

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVORLIN_FUZZ=ON -DBUILD_TESTING=OFF
cmake --build build-fuzz --target fuzz_seeds \
  $(printf 'fuzz_%s ' "${targets[@]}")

seeds=build-fuzz/seeds
rm -rf "$seeds"
ASAN_OPTIONS=detect_leaks=0 build-fuzz/fuzz/fuzz_seeds "$seeds" 2>/dev/null
rm -f build-fuzz/crash-* build-fuzz/timeout-* build-fuzz/leak-* build-fuzz/oom-*
for target in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus" "$seeds/$target"
  echo "== fuzz_$target for ${seconds}s"
  status=0
  (cd build-fuzz && ASAN_OPTIONS=detect_leaks=0 "fuzz/fuzz_$target" -max_total_time="$seconds" \
    -close_fd_mask=2 -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    "../$corpus" "../$seeds/$target") >"build-fuzz/fuzz_$target.log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|stat::new_units_added|Done)' \
    "build-fuzz/fuzz_$target.log" || true
  if [ "$status" -ne 0 ]; then
    # libFuzzer leaves the failing input as build-fuzz/crash-* (or timeout-*, oom-*).
    tail -n 40 "build-fuzz/fuzz_$target.log"
    echo "fuzz_$target found a failing input (exit status $status)"
    exit 1
  fi
done
