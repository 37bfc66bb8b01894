#!/usr/bin/env bash
# The set-up's build step on a small project in a temporary folder: a source
# that does not compile fails it (so no test runs on an older build), a
# mended one passes, and an option given later reaches the folder.
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cat >CMakeLists.txt <<'CMAKE'
cmake_minimum_required(VERSION 3.24)
project(BuildFailsProbe LANGUAGES CXX)
option(PROBE_OPTION "an option given after the first configure" OFF)
add_executable(probe main.cpp)
CMAKE
echo 'int main() { return 0; }' >main.cpp
. "$repo/scripts/build-lib.sh"

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

tessaro_build build >/dev/null 2>&1 || fail "a sound project did not build"
echo 'int main() { return undeclared_name; }' >main.cpp
if tessaro_build build >/dev/null 2>&1; then
  fail "a source that does not compile passed the build step"
fi
echo 'int main() { return 0; }' >main.cpp
tessaro_build build -DPROBE_OPTION=ON >/dev/null 2>&1 || fail "the mended source did not build"
grep -q '^PROBE_OPTION:BOOL=ON$' build/CMakeCache.txt || fail "an option given later did not reach the folder"
echo "build step: a failed build fails, options reach a configured folder"
