# Sourced by the set-up and fuzz scripts: configures and builds one build
# folder, and fails when either step fails.
#   tessaro_build <folder> [cmake options...] [-- <build options...>]

tessaro_build() {
  # pipefail for this function whatever the caller set: the build's status,
  # not its output filter's, decides below.
  local -
  set -o pipefail
  local dir=$1
  shift
  local configure=() build=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    configure+=("$1")
    shift
  done
  [ "${1:-}" = "--" ] && shift
  build=("$@")
  # Configured every time, so an option given now reaches a folder made
  # before; with nothing changed this takes a moment only.
  if ! cmake -S . -B "$dir" -G Ninja "${configure[@]}" >/dev/null; then
    echo "configuring $dir failed" >&2
    return 1
  fi
  # Progress lines are dropped.
  if ! cmake --build "$dir" -j"$(nproc)" "${build[@]}" | { grep -vE '^\[[0-9]+/[0-9]+\]' || true; }; then
    echo "building $dir failed" >&2
    return 1
  fi
}
