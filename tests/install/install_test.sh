#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR under /usr, as the package does, and
# checks what a desktop gets from there: both programs run and tell their version
# (lumarq without any display), the desktop entry and the metainfo pass Debian's
# validators and name files that were installed, the icon theme has the icon at
# every size, and both manual pages render without a warning and list every
# option the program's --help lists.
# Usage: install_test.sh BUILD_DIR VERSION MAN_PAGES (1 when the build makes them). Exits 77 (skipped)
# where a validator is missing or the build made no manual pages.
set -uo pipefail
build=$1 version=$2 man_pages=$3
for tool in desktop-file-validate appstreamcli man readelf; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
case "$man_pages" in 1) ;; *) echo "skipped: help2man was missing when the build was configured"; exit 77 ;; esac

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

log=$(DESTDIR="$root" cmake --install "$build" --prefix /usr 2>&1) || { echo "$log"; echo "FAIL: cmake --install"; exit 1; }
usr=$root/usr

# The programs, run from where they were installed. Without a display the image
# window could not open, so --version and --help prove that none is opened.
out=$("$usr/bin/lumarq-render" --version) || fail "lumarq-render --version exits $?"
[ "$(head -n 1 <<<"$out")" = "lumarq-render $version" ] || fail "lumarq-render --version printed '$out'"
grep -qx 'License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>' <<<"$out" ||
  fail "lumarq-render --version names no licence"
headless() { env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$@"; }
out=$(headless "$usr/bin/lumarq" --version) || fail "lumarq --version exits $?"
[ "$(head -n 1 <<<"$out")" = "lumarq $version" ] || fail "lumarq --version printed '$out'"
grep -qx 'License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>' <<<"$out" ||
  fail "lumarq --version names no licence"
out=$(headless "$usr/bin/lumarq" --help) || fail "lumarq --help exits $?"
grep -q -- '--version' <<<"$out" || fail "lumarq --help does not list --version"
for program in "$usr"/bin/*; do
  readelf -d "$program" | grep -E 'RPATH|RUNPATH' && fail "$program has a library search path"
done
for folder in "$build" "$(cd "$(dirname "$0")/../.." && pwd)"; do
  grep -rlF --exclude='*.gz' "$folder" "$usr/share" && fail "installed files name $folder"
  find "$usr/share" -name '*.gz' -exec zgrep -lF "$folder" {} + && fail "installed files name $folder"
done

# The desktop entry: valid (hints allowed), and its program and icon are installed.
entries=("$usr"/share/applications/*.desktop)
[ ${#entries[@]} -eq 1 ] && [ -f "${entries[0]}" ] || fail "expected one desktop entry, found: ${entries[*]}"
entry=${entries[0]}
out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
echo "$out" | grep -E ': (error|warning): ' && fail "desktop-file-validate reports the above"
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[ -n "$exec_program" ] && [ -x "$usr/bin/$exec_program" ] || fail "Exec=$exec_program is not an installed program"
icon=$(sed -n 's/^Icon=//p' "$entry")

# The metainfo: valid without warnings, launching that desktop entry, with a
# release entry for this version.
metainfos=("$usr"/share/metainfo/*.metainfo.xml)
metainfo=${metainfos[0]}
out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
grep -qF "<launchable type=\"desktop-id\">$(basename "$entry")</launchable>" "$metainfo" ||
  fail "the metainfo does not launch $(basename "$entry")"
grep -qF "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"

# The icon at every size the theme looks up: a PNG of that many pixels square.
for size in 16 24 32 48 64 128 256; do
  png=$usr/share/icons/hicolor/${size}x$size/apps/$icon.png
  [ -f "$png" ] || { fail "no icon $png"; continue; }
  # Signature (8 bytes), IHDR length and type (8), then width and height, big-endian.
  read -r -a bytes < <(od -An -v -tu1 -w24 -N24 "$png")
  [ "${bytes[*]:0:8}" = "137 80 78 71 13 10 26 10" ] || fail "$png is not a PNG"
  width=$(( (bytes[16] << 24) | (bytes[17] << 16) | (bytes[18] << 8) | bytes[19] ))
  height=$(( (bytes[20] << 24) | (bytes[21] << 16) | (bytes[22] << 8) | bytes[23] ))
  [ "$width" -eq "$size" ] && [ "$height" -eq "$size" ] || fail "$png is $width x $height"
done

# The manual pages: no warning from man (as lintian runs it), and every option
# of the program's --help shown on the page.
for program in lumarq lumarq-render; do
  page=$usr/share/man/man1/$program.1.gz
  [ -f "$page" ] || { fail "no manual page $page"; continue; }
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man -l $page warns: $warnings"
  text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null)
  for option in $(headless "$usr/bin/$program" --help | grep -oE -- '--[a-z-]+' | sort -u); do
    grep -qF -- "$option" <<<"$text" || fail "$program(1) does not show $option"
  done
done

[ "$failures" -eq 0 ] || exit 1
echo "installed and checked: $(cd "$root" && find . -type f | sort | tr '\n' ' ')"
