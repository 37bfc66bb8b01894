#!/usr/bin/env bash
# The table of allowed links, on a small project in a temporary folder: a
# link the table lists configures, a link it does not list, a Qt module past
# Qt Core it does not list, and a library without a row each fail the
# configure step, naming what is wrong.
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# project <extra CMake lines>: a project of three libraries, low <- mid <- top.
project() {
  cat >CMakeLists.txt <<CMAKE
cmake_minimum_required(VERSION 3.24)
project(LinkTableProbe LANGUAGES NONE)
include("$repo/cmake/AllowedLinks.cmake")
set(TABLE
  "low"
  "mid  low
        Qt6::Widgets"
  "top  mid")
foreach(name low mid top)
  add_library(\${name} INTERFACE)
  set_property(GLOBAL APPEND PROPERTY TESSARO_LIBRARIES \${name})
endforeach()
add_library(Qt6::Widgets INTERFACE IMPORTED)
add_library(Qt6::Gui INTERFACE IMPORTED)
target_link_libraries(mid INTERFACE low Qt6::Widgets)
target_link_libraries(top INTERFACE mid)
$1
tessaro_check_links(TABLE)
CMAKE
  rm -rf build
  cmake -S . -B build >out.txt 2>&1
}

project "" || { cat out.txt; fail "links the table lists did not configure"; }
expect_refused() {
  local lines=$1 message=$2
  if project "$lines"; then
    fail "configured although: $message"
  fi
  grep -qF "$message" out.txt || { cat out.txt; fail "the refusal does not say: $message"; }
}
expect_refused "target_link_libraries(low INTERFACE top)" "low -> top is not an allowed link"
expect_refused "target_link_libraries(top INTERFACE \$<LINK_ONLY:low>)" "top -> low is not an allowed link"
expect_refused "target_link_libraries(top INTERFACE Qt6::Gui)" "top -> Qt6::Gui is not an allowed link"
expect_refused "add_library(stray INTERFACE)
set_property(GLOBAL APPEND PROPERTY TESSARO_LIBRARIES stray)" "stray has no row in the table of allowed links"
echo "allowed links: listed links configure, every other arrow fails the configure step"
