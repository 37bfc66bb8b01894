#!/usr/bin/env bash
# Sets up a Debian 12 machine for Tessaro (only what is missing), builds it,
# then starts the program or runs the tests.
#   scripts/dev.sh start       build and start the program
#   scripts/dev.sh test        build and run every test
#   scripts/dev.sh test-asan   the same under AddressSanitizer + UBSan (build-asan/)
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-webengine-dev
  libcurl4-openssl-dev libssl-dev libchm-dev liblz4-dev libbrotli-dev zlib1g-dev liblzma-dev libzip-dev liburing-dev wget
  libgtest-dev libgmock-dev fp-utils
  python3-libmsiecf
  xvfb xauth firefox-esr
  python3-pyatspi at-spi2-core dbus imagemagick x11-utils file
)

install_missing_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  # Node.js may come from elsewhere with npm bundled; Debian's npm then conflicts.
  command -v npm >/dev/null || missing+=(nodejs npm)
  [ ${#missing[@]} -eq 0 ] && return
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

install_node_modules() {
  [ -f package-lock.json ] || return 0
  # npm ci only when the lock file changed since the last install.
  if [ ! -f node_modules/.package-lock.json ] || ! cmp -s package-lock.json node_modules/.tessaro-lock; then
    npm ci --no-audit --no-fund --loglevel=error >/dev/null
    cp package-lock.json node_modules/.tessaro-lock
  fi
}

# shellcheck source=scripts/build-lib.sh
. scripts/build-lib.sh

build() {
  local dir=$1
  shift
  tessaro_build "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARO_WERROR=ON "$@"
}

run_tests() {
  local dir=$1
  (cd "$dir" && ctest -j"$(nproc)" --output-on-failure --timeout 300)
}

install_missing_packages
install_node_modules

case "${1:-}" in
  start)
    build build
    # The web engine refuses to run its sandbox as root.
    [ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
    exec build/bin/tessaro
    ;;
  test)
    build build
    run_tests build
    ;;
  test-asan)
    build build-asan -DTESSARO_SANITIZE=ON
    run_tests build-asan
    ;;
  *)
    echo "usage: $0 start|test|test-asan" >&2
    exit 2
    ;;
esac
