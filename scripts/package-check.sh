#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root (dpkg -x, so the
# machine stays as it was) and starts the installed program under a private
# X server to see that it starts and shows its main window.
#   scripts/package-check.sh [build-folder]        (default: build)
#   scripts/package-check.sh --install [folder]    installs the package with dpkg -i
#                                                  (and apt-get for its dependencies) instead
# Then, when Debian's python3-pyatspi is there, runs the start, preview and
# help journeys of e2e/ against the installed program (its player and help
# files must be found from the prefix).
# Prints the package file and the check's outcome; exits non-zero on failure.
set -euo pipefail
cd "$(dirname "$0")/.."

install_for_real=0
if [ "${1:-}" = "--install" ]; then
  install_for_real=1
  shift
fi
build=${1:-build}

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARO_WERROR=ON >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target tessaro_package_content >/dev/null
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/tessaro_*.deb | head -n1)
echo "package: $deb"
# The window title carries the version the package was built with.
title="Tessaro v$(dpkg-deb -f "$deb" Version)"

echo "depends: $(dpkg-deb -f "$deb" Depends)"
# Every dependency must be a package Debian offers.
for dep in $(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/(.*)//; s/ //g'); do
  apt-cache show "$dep" >/dev/null 2>&1 || { echo "not a Debian package: $dep" >&2; exit 1; }
done

work=$(mktemp -d /tmp/tessaro-package-XXXXXX)
xvfb_pid=""
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill -KILL -- "-$program_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Every library a packaged binary links directly must come from a package named in Depends.
unpacked=$work/unpacked
dpkg-deb -x "$deb" "$unpacked"
depends=" $(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/(.*)//; s/ //g' | tr '\n' ' ') "
missing_dependency=0
while IFS= read -r -d '' binary; do
  file -b "$binary" | grep -q '^ELF' || continue
  resolved=$(ldd "$binary")
  for soname in $(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    library=$(printf '%s\n' "$resolved" | awk -v n="$soname" '$1 == n && $3 ~ /^\// {print $3}')
    [ -n "$library" ] || continue  # the dynamic loader itself
    owner=$(dpkg -S "$(readlink -f "$library")" 2>/dev/null | head -n1 | cut -d: -f1) || true
    if [ -z "$owner" ]; then
      owner=$(dpkg -S "$library" 2>/dev/null | head -n1 | cut -d: -f1) || true
    fi
    case "$depends" in
      *" $owner "*) ;;
      *) echo "${binary#"$unpacked"} links $soname of package '${owner:-none}', which Depends does not name" >&2
         missing_dependency=1 ;;
    esac
  done
done < <(find "$unpacked" -type f -print0)
[ "$missing_dependency" -eq 0 ] || exit 1

if [ "$install_for_real" -eq 1 ]; then
  apt-get install -y -qq "$(realpath "$deb")" >/dev/null
  root=/
else
  root=$unpacked
fi
prefix=$root/usr

for path in bin/tessaro lib/tessaro/tessaro share/applications/tessaro.desktop \
            share/icons/hicolor/scalable/apps/tessaro.svg bin/tessaro-find share/man/man1/tessaro-find.1.gz; do
  [ -e "$prefix/$path" ] || { echo "missing in the package: /usr/$path" >&2; exit 1; }
done
# The command line from the package: its version, its man page, and a movie read.
find_version=$("$prefix/bin/tessaro-find" --version)
[ "$find_version" = "tessaro-find $(dpkg-deb -f "$deb" Version)" ] ||
  { echo "the packaged tessaro-find says '$find_version'" >&2; exit 1; }
if command -v man >/dev/null; then
  man -l "$prefix/share/man/man1/tessaro-find.1.gz" 2>/dev/null | grep -q 'EXIT STATUS' ||
    { echo "the packaged man page of tessaro-find does not read" >&2; exit 1; }
fi
"$prefix/bin/tessaro-find" movie tests/fixtures/ruffle-loaders/movies/avm1__cross_movie_root/test.swf 2>/dev/null |
  grep -q '"sha256"' || { echo "the packaged tessaro-find read no movie" >&2; exit 1; }
# A page goes to the page program beside the installed tessaro-find: a page
# served from loopback names the same movie.
site=$work/site
mkdir -p "$site"
cp tests/fixtures/ruffle-loaders/movies/avm1__cross_movie_root/test.swf "$site/m.swf"
echo '<html><body><embed src="m.swf"></body></html>' >"$site/index.html"
python3 -u -m http.server --bind 127.0.0.1 0 -d "$site" >"$work/site.log" 2>&1 &
site_pid=$!
port=""
for _ in $(seq 50); do
  port=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$work/site.log" | head -n1)
  [ -n "$port" ] && break
  sleep 0.1
done
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
page_lines=$(timeout 120 "$prefix/bin/tessaro-find" page "http://127.0.0.1:$port/index.html" 2>/dev/null || true)
kill "$site_pid" 2>/dev/null || true
printf '%s\n' "$page_lines" | grep -q '"sha256"' ||
  { echo "the packaged tessaro-find scanned no page: $page_lines" >&2; exit 1; }
echo "ok: /usr/bin/tessaro-find from the package reads a movie and scans a page; its man page is there"
for path in libtessarohelp.so help.chm ruffle; do
  [ -e "$prefix/lib/tessaro/$path" ] || echo "warning: /usr/lib/tessaro/$path is not in the package" >&2
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/tessaro.desktop"
fi

# A private X server, home and runtime folder; the program from the prefix.
mkdir -p "$work/home" "$work/run"
chmod 700 "$work/run"
# A random display number well above the ones other tools hard-code (:0, :99).
display=""
for _ in 1 2 3 4 5; do
  number=$((RANDOM % 3800 + 200))
  Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    # Ours only when the display's lock names our server (another may hold that number).
    if [ "$(tr -d ' \n' < "/tmp/.X$number-lock" 2>/dev/null)" = "$xvfb_pid" ] &&
       xwininfo -display ":$number" -root >/dev/null 2>&1; then
      display=":$number"
      break
    fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$display" ] && break
  kill "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
done
[ -n "$display" ] || { echo "Xvfb did not start" >&2; exit 1; }

env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/run" DISPLAY="$display" LANG=C.UTF-8 \
  QTWEBENGINE_DISABLE_SANDBOX=1 \
  QTWEBENGINE_CHROMIUM_FLAGS="--disable-background-networking --disable-component-update --no-pings --disable-domain-reliability" \
  setsid "$prefix/bin/tessaro" > "$work/program.log" 2>&1 &
program_pid=$!

shown=0
for _ in $(seq 600); do
  if ! kill -0 "$program_pid" 2>/dev/null; then
    break
  fi
  if xwininfo -display "$display" -root -tree 2>/dev/null | grep -qF "\"$title\""; then
    shown=1
    break
  fi
  sleep 0.1
done
if [ "$shown" -ne 1 ]; then
  echo "the installed program did not show its window; its output:" >&2
  cat "$work/program.log" >&2
  exit 1
fi
import -display "$display" -window root "$build/package-check.png"
echo "ok: /usr/bin/tessaro from the package shows \"$title\" (screenshot $build/package-check.png)"

if /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
  status=0
  /usr/bin/python3 e2e/run_e2e.py --program "$prefix/bin/tessaro" --artifacts "$build/package-check-artifacts" \
    start_state preview help || status=$?
  # 77: skipped (no port 80 on loopback for the test site), not a failure of the package.
  if [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; then
    echo "journeys against the installed program failed (evidence in $build/package-check-artifacts)" >&2
    exit 1
  fi
  echo "ok: start, preview and help journeys pass against the installed program"
fi
