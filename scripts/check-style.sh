#!/usr/bin/env bash
# The style gate: every C++ file exactly as .clang-format writes it, then
# clang-tidy's bug-finding checks (.clang-tidy) over the program's own sources
# with no finding. Reads the build folder's compile_commands.json, so run it
# after a build (CI runs it after scripts/dev.sh test).
#   scripts/check-style.sh [build-folder]        (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build}" && pwd)

# Debian 12's clang-format and clang-tidy (14), installed when missing.
missing=()
command -v clang-format >/dev/null || missing+=(clang-format)
command -v run-clang-tidy >/dev/null || missing+=(clang-tidy)
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The copied fixture tools keep the form they were written in.
mapfile -t sources < <(git ls-files -- '*.cpp' '*.h' ':!:tests/fixtures/')
if ! clang-format --dry-run -Werror "${sources[@]}"; then
  echo "not formatted as .clang-format writes it: run clang-format -i on the files above" >&2
  exit 1
fi
echo "format: ${#sources[@]} files as .clang-format writes them"

if [ ! -f "$build/compile_commands.json" ]; then
  echo "no $build/compile_commands.json: build first (bash scripts/dev.sh test)" >&2
  exit 1
fi
# The program's sources: the compiled files of every top folder that holds
# C++ and is not a test, benchmark or fuzz folder (generated code stays out).
folders=$(git ls-files -- '*.cpp' | cut -d/ -f1 -s | sort -u | grep -vxE 'tests|bench|fuzz|e2e' | paste -sd'|')
start=$SECONDS
# clang-tidy's own status is taken before its output is filtered, so no
# later command of a pipeline can stand in for it.
findings=$(mktemp)
trap 'rm -f "$findings"' EXIT
status=0
run-clang-tidy -quiet -p "$build" -j "$(nproc)" -header-filter="^$root/" "^$root/($folders)/.*\.cpp\$" \
  >"$findings" 2>&1 || status=$?
grep -vE '^[0-9]+ warnings? generated\.$|^Suppressed [0-9]+ warnings|^Use -header-filter|^clang-tidy-[0-9]+ ' \
  "$findings" || [ $? -eq 1 ]
if [ "$status" -ne 0 ]; then
  echo "clang-tidy found the faults above (checks and the ones left out: .clang-tidy)" >&2
  exit 1
fi
echo "clang-tidy: no finding in the sources of $folders ($((SECONDS - start)) s)"
