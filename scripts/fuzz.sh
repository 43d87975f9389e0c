#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz target (or the ones named) for a given time each.
# Fails when any target finds an input that crashes, leaks, hangs or breaks a property; the input
# is left in build/fuzz/findings/<target>/ (keep it in tests/fuzz/reproducers/<target>/ with the
# fix, and a unit test that replays it).
#
#   scripts/fuzz.sh [seconds per target, default 60] [target ...]
#
# Inputs that found new paths are kept between runs in build/fuzz/corpus/<target>/; the seeds in
# tests/fuzz/corpus/<target>/ are read, never written.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

build=build/fuzz
if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < "$build/fuzz_targets.txt"
fi

failed=0
summary=""
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  log="$build/fuzz-$target.log"
  mkdir -p "$corpus" "$findings"
  echo "=== fuzz $target for ${seconds} s ==="
  status=0
  XAVO_ERROR_QUIET=1 "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -max_len=8192 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "tests/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$status" -ne 0 ]; then
    failed=1
    tail -n 60 "$log"
    summary+=$(printf '%-20s %12s executions  FINDING (exit %d), see %s and %s\n' "$target" "${executions:-?}" "$status" "$log" "$findings")$'\n'
  else
    summary+=$(printf '%-20s %12s executions  no finding\n' "$target" "${executions:-?}")$'\n'
  fi
done
echo "=== fuzzing: ${seconds} s per target ==="
printf '%s' "$summary"
exit "$failed"
