#!/usr/bin/env bash
# Fuzzes the parsers of untrusted bytes: builds each libFuzzer target of tests/fuzz/
# with clang (ASan+UBSan, undefined behaviour fatal), runs it for SECONDS on a working
# corpus seeded from tests/fuzz/corpus/<target>/, minimises that corpus and prints per
# target: runs, coverage (edges, features), corpus size before and after minimising,
# and findings (crash, leak, timeout, out-of-memory inputs).
#   tools/fuzz.sh [SECONDS] [TARGET ...]     default: 1200 seconds, every target
# Work goes to build-fuzz/ (FUZZ_BUILD to change): fuzz-corpus/<target>/ is the working
# corpus (kept between runs), fuzz-min/<target>/ the minimised one, fuzz-findings/<target>/
# the inputs that failed, fuzz-logs/<target>.log the output. A finding is fixed by adding
# its input (renamed to say what it is) to tests/fuzz/corpus/<target>/, which every test
# run replays.
# Needs: clang, cmake, ninja-build and what tools/install-deps.sh installs.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-1200}
[[ $# -gt 0 ]] && shift
build=${FUZZ_BUILD:-build-fuzz}

for tool in clang clang++ cmake ninja; do
  command -v "$tool" >/dev/null || { echo "fuzz.sh needs $tool (apt-get install clang cmake ninja-build)" >&2; exit 1; }
done

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  mapfile -t targets < <(sed -n 's/^norix_fuzz_target(\([a-z_0-9]*\).*/\1/p' tests/fuzz/*.cmake)
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DNORIX_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build "$build" -j"${FUZZ_JOBS:-2}" --target "${targets[@]/#/fuzz_}"

# Undefined behaviour ends the run like a crash, so it is kept as a finding.
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
results=()
for target in "${targets[@]}"; do
  program="$build/tests/fuzz/fuzz_$target"
  corpus="$build/fuzz-corpus/$target" minimised="$build/fuzz-min/$target"
  findings="$build/fuzz-findings/$target" log="$build/fuzz-logs/$target.log"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  rm -rf "$minimised" && mkdir -p "$minimised"
  echo "fuzzing $target for $seconds s"
  # The working corpus first (new inputs go there), the committed seeds read only.
  "$program" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "tests/fuzz/corpus/$target" >"$log" 2>&1 || true
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 || true)
  before=$(find "$corpus" "tests/fuzz/corpus/$target" -type f | wc -l)
  "$program" -merge=1 -timeout=25 -rss_limit_mb=2048 "$minimised" "$corpus" "tests/fuzz/corpus/$target" \
    >>"$log" 2>&1 || true
  after=$(find "$minimised" -type f | wc -l)
  found=$(find "$findings" -type f | wc -l)
  results+=("$(printf '%-16s %10s  %-22s %5s -> %-5s %s' "$target" "${runs:-?}" "${coverage:-cov: ?}" "$before" \
    "$after" "$found")")
done

printf '\n%-16s %10s  %-22s %-14s %s\n' target runs coverage corpus findings
printf '%s\n' "${results[@]}"
if find "$build/fuzz-findings" -type f | grep -q .; then
  echo "findings (replay one: $build/tests/fuzz/fuzz_TARGET FILE):"
  find "$build/fuzz-findings" -type f | sort
  exit 1
fi
