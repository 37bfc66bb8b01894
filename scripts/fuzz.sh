#!/usr/bin/env bash
# Builds every libFuzzer target with clang (ASan + UBSan) in build-fuzz/ and
# runs each for FUZZ_SECONDS (30), one a core at a time, on its committed seeds in
# fuzz/corpus/<target without "fuzz_">/ (a target without seeds starts from
# nothing, with a warning). Inputs reach FUZZ_MAX_LEN (1 MiB) and each must
# finish within FUZZ_INPUT_TIMEOUT (2 s), so work that grows faster than its
# input fails as a crash does. A crash, a leak or a time-out fails; the input
# that did it is left in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_PER_TARGET=${FUZZ_SECONDS:-30}
MAX_LEN=${FUZZ_MAX_LEN:-1048576}
INPUT_TIMEOUT=${FUZZ_INPUT_TIMEOUT:-2}
# The compiler and its sanitizer and fuzzer run-time libraries; the parsers'
# own libraries come with scripts/dev.sh.
PACKAGES=(clang libclang-rt-14-dev)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# shellcheck source=scripts/build-lib.sh
. scripts/build-lib.sh
dir=build-fuzz
tessaro_build "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTESSARO_FUZZ=ON -DTESSARO_TESTS=OFF -- --target tessaro_fuzz_all

mkdir -p "$dir/artifacts"

# Runs one target; prints its line and leaves its log; fails on a finding.
fuzz_target() {
  local target=$1
  # New inputs go to a working folder; the committed seeds are only read.
  local work=$dir/corpus/$target
  mkdir -p "$work"
  local corpora=("$work")
  local seeds=fuzz/corpus/${target#fuzz_}
  if [ -n "$(ls -A "$seeds" 2>/dev/null)" ]; then
    corpora+=("$seeds")
  else
    echo "$target: warning: no seeds in $seeds, starting from nothing"
  fi
  if "$dir/bin/$target" -max_total_time="$SECONDS_PER_TARGET" -max_len="$MAX_LEN" \
    -timeout="$INPUT_TIMEOUT" -rss_limit_mb=2048 \
    -artifact_prefix="$dir/artifacts/$target-" -print_final_stats=1 "${corpora[@]}" >"$dir/$target.log" 2>&1; then
    echo "$target: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$dir/$target.log" | grep -o '[0-9]*$') runs, no crash"
  else
    echo "$target: FAILED"
    tail -n 40 "$dir/$target.log"
    return 1
  fi
}
export -f fuzz_target
export dir SECONDS_PER_TARGET MAX_LEN INPUT_TIMEOUT

# One target a core at a time; each line is printed whole when its target ends.
results=$dir/fuzz-results.txt
: >"$results"
grep -v '^$' "$dir/fuzz-targets.txt" |
  xargs -P "$(nproc)" -I{} bash -c 'if fuzz_target "$1" >"$dir/$1.result"; then echo ok >>"$dir/fuzz-results.txt"; else echo failed >>"$dir/fuzz-results.txt"; fi; cat "$dir/$1.result"' _ {}
passed=$(grep -c '^ok$' "$results" || true)
failed=$(grep -c '^failed$' "$results" || true)
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
