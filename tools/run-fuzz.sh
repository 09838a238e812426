#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each for a
# fixed short time from its seed corpus. Any crash, sanitizer report, leak
# or hang fails the run; the input that caused it is kept in
# build-fuzz/findings/NAME/ (replay: build-fuzz/fuzz/fuzz_NAME FILE).
#
#   tools/run-fuzz.sh [NAME...]      (default: every target)
#   FUZZ_SECONDS  wall-clock budget of all runs together (default 240)
#   FUZZ_JOBS     targets run side by side (default: cores, at most 2)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-fuzz
budget=${FUZZ_SECONDS:-240}
cores=$(nproc)
jobs=${FUZZ_JOBS:-$((cores < 2 ? cores : 2))}

# Continuous integration treats every compiler warning as an error.
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELLORAN_WERROR="$werror" -DVELLORAN_BUILD_FUZZ=ON -DVELLORAN_BUILD_TESTS=OFF -DVELLORAN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$cores" --target fuzz_targets

if [ $# -gt 0 ]; then
  names=("$@")
else
  mapfile -t names < <(grep -v '^$' "$build/fuzz/targets.txt")
fi
# Rounds of `jobs` targets share the budget evenly.
rounds=$(( (${#names[@]} + jobs - 1) / jobs ))
seconds=$(( budget / rounds ))
[ "$seconds" -ge 5 ] || seconds=5

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen

logs=$build/logs
rm -rf "$logs"
mkdir -p "$logs"

run_one() {
  local name=$1
  local corpus=$build/corpus/$name findings=$build/findings/$name
  mkdir -p "$corpus" "$findings"
  # New inputs go to the first folder; the seeds stay as they were drawn.
  "$build/fuzz/fuzz_$name" "$corpus" "$build/fuzz/seeds/$name" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
    -artifact_prefix="$findings/" -print_final_stats=1 >"$logs/$name.log" 2>&1
}

echo "Fuzzing ${#names[@]} targets, ${seconds}s each, $jobs at a time"
failed=()
pids=()
running=()
finish() {
  local pid=$1 name=$2
  if wait "$pid"; then
    echo "fuzz $name: ok ($(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$logs/$name.log" | grep -o '[0-9]*$') runs)"
  else
    echo "fuzz $name: FAILED"
    tail -n 60 "$logs/$name.log"
    ls "$build/findings/$name"
    failed+=("$name")
  fi
}
for name in "${names[@]}"; do
  if [ "${#pids[@]}" -ge "$jobs" ]; then
    finish "${pids[0]}" "${running[0]}"
    pids=("${pids[@]:1}")
    running=("${running[@]:1}")
  fi
  run_one "$name" &
  pids+=($!)
  running+=("$name")
done
for i in "${!pids[@]}"; do
  finish "${pids[$i]}" "${running[$i]}"
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "Fuzzing found faults in: ${failed[*]}"
  exit 1
fi
