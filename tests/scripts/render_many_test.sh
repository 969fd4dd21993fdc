#!/usr/bin/env bash
# scripts/render_many on this machine through GNU parallel's --sshlogin ":": every
# file rendered byte for byte as lumarq-render alone renders it, names with spaces
# intact, and a bad file reported without stopping the others.
set -uo pipefail
render=$1
here=$(cd "$(dirname "$0")/../.." && pwd)
command -v parallel >/dev/null || { echo "GNU parallel is not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir in
cp "$here/resources/samples/sample.bmp" "in/first photo.bmp"
"$render" --convert "$here/resources/samples/sample.bmp" -o in/second.png
printf 'not an image' > in/broken.bmp
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

ls in/* | "$here/scripts/render_many" -S : --ext png --render "$render" out -- --pattern 48 --angle 30 2> errors
status=$?
[ "$status" = 1 ] || fail "one broken input of three: exit status $status, not 1"
grep -q "^lumarq-render: in/broken.bmp: " errors || fail "no line about the broken input: $(cat errors)"
for name in "first photo" second; do
  "$render" --pattern 48 --angle 30 in/"$name".* -o alone.png || fail "lumarq-render alone on $name"
  cmp -s alone.png "out/$name.png" || fail "out/$name.png differs from lumarq-render's own"
done
[ "$(awk -F'\t' 'NR > 1 && $7 == 0' out/jobs.log | wc -l)" = 2 ] || fail "jobs.log does not show two good jobs: $(cat out/jobs.log)"
exit $((failures > 0))
