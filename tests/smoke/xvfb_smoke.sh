#!/usr/bin/env bash
# Smoke test of the real windows on a virtual X server: starts Lumarq on an image,
# finds the image window and the control panel, checks where they are, moves the
# pattern slider with the keyboard, drops another image on the image window from
# a drag source (when one is given), and ends the program through File > Exit.
# Screenshots of the image window (ImageMagick's `import`) go to OUTPUT_DIR and are
# compared with the image given.
# Usage: xvfb_smoke.sh LUMARQ IMAGE OUTPUT_DIR [DRAG_SOURCE | --phone-photo | --large RENDER | --fit RENDER]. Exits 77
# (skipped) without Xvfb, xdotool or ImageMagick. With QT_SCALE_FACTOR set (a
# high-DPI screen), the panel grows by that factor while the image must still show
# one pixel per screen pixel. With --phone-photo the image is first stored as a
# phone stores a portrait photo (a JPEG turned a quarter, with an orientation tag
# that sets it upright), and the rendered image is also saved through Save As as a PNG.
# With --large the image is a generated 3000 x 2000 one, far larger than the screen:
# the screen must equal lumarq-render's output (RENDER) for the same settings, also
# where dragging the window brings parts of it on screen that were off it.
# An image larger than the screen lies on a cardboard of its size, of which the
# window is only the part on the screen: the window is at most the screen's size.
# --fit does the same with a 4000 x 3000 image, then Ctrl+0: the window shows it whole
# at 8/25 (1280 x 960), each screen pixel the mean of the image pixels it covers,
# weighted by how much of each it covers, within one level per channel (the
# program's weights are rounded to 65536ths); Ctrl+1 brings back actual size.
set -uo pipefail
lumarq=$1 image=$2 out=$3 drag_source= phone_photo= render= fit=
case ${4:-} in
  --phone-photo) phone_photo=--phone-photo ;;
  --large) render=${5:?}; image=$out/large.bmp ;;
  --fit) render=${5:?}; image=$out/fit.bmp fit=yes ;;
  *) drag_source=${4:-} ;;
esac
scale=${QT_SCALE_FACTOR:-1}
for tool in Xvfb xdotool import compare; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
mkdir -p "$out"
rm -f "$out/result.png"
if [ "$phone_photo" = "--phone-photo" ]; then
  convert "$image" -rotate -90 -quality 95 "$out/turned.jpg" || exit 1
  # An Exif segment right after the start-of-image marker: orientation 6, "turn a
  # quarter clockwise to view".
  exif='\xff\xe1\x00\x22Exif\x00\x00MM\x00\x2a\x00\x00\x00\x08\x00\x01\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00\x00\x00\x00\x00'
  { head -c 2 "$out/turned.jpg"; printf '%b' "$exif"; tail -c +3 "$out/turned.jpg"; } >"$out/phone.jpg"
  image=$out/phone.jpg
fi
if [ -n "$render" ]; then
  size=3000x2000
  [ -n "$fit" ] && size=4000x3000
  convert -size $size xc: -seed 7 +noise Random -type TrueColor "BMP3:$image" || exit 1
fi
read -r image_width image_height < <(convert "$image" -auto-orient -format '%w %h' info:)
window_width=$((image_width < 1280 ? image_width : 1280)) window_height=$((image_height < 1024 ? image_height : 1024))

fail() { echo "FAIL: $*"; exit 1; }

# Let the server pick a free display number and tell us which.
exec 5< <(exec Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>"$out/xvfb.log")
xvfb_pid=$!
read -r -t 10 number <&5 || { echo "skipped: Xvfb did not start"; exit 77; }
# The program's settings (recent files, folders) go to the output folder, never
# to the user's own.
export DISPLAY=":$number" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$out/config"
app_pid= source_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$source_pid" ] && kill "$source_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

"$lumarq" "$image" >"$out/lumarq.log" 2>&1 &
app_pid=$!

# Both windows carry the caption "Lumarq".
windows=()
for _ in $(seq 50); do
  mapfile -t windows < <(xdotool search --onlyvisible --name '^Lumarq$' 2>/dev/null)
  [ ${#windows[@]} -ge 2 ] && break
  sleep 0.2
done
[ ${#windows[@]} -eq 2 ] || fail "expected two windows, found ${#windows[@]}"
sleep 0.5

image_window= panel=
for w in "${windows[@]}"; do
  eval "$(xdotool getwindowgeometry --shell "$w")"
  echo "window $w at $X,$Y size ${WIDTH}x$HEIGHT"
  if [ "$WIDTH" -eq "$window_width" ] && [ "$HEIGHT" -eq "$window_height" ]; then
    image_window=$w
    [ "$X" -eq 0 ] && [ "$Y" -eq 0 ] || fail "image window at $X,$Y, not 0,0"
  elif [ "$WIDTH" -eq $((338 * scale)) ]; then
    panel=$w panel_x=$X panel_y=$Y panel_height=$HEIGHT
    # Centred on the 1280 x 1024 screen.
    [ $((X + WIDTH / 2 - 640)) -ge -2 ] && [ $((X + WIDTH / 2 - 640)) -le 2 ] || fail "panel not centred: x $X"
    [ $((Y + HEIGHT / 2 - 512)) -ge -2 ] && [ $((Y + HEIGHT / 2 - 512)) -le 2 ] || fail "panel not centred: y $Y"
  fi
done
[ -n "$image_window" ] || fail "no $window_width x $window_height image window"
[ -n "$panel" ] || fail "no control panel"
[ "$panel_height" -gt $((253 * scale)) ] || fail "panel client area too short: $panel_height"

# Answers "Don't Save" when the question about unsaved work comes up (a third
# window captioned "Lumarq"); false when none came within five seconds.
dont_save() {
  for _ in $(seq 25); do
    if xdotool search --onlyvisible --name '^Lumarq$' 2>/dev/null | grep -qvx -e "$image_window" -e "$panel"; then
      xdotool key alt+n
      return 0
    fi
    sleep 0.2
  done
  return 1
}

# A window larger than the screen can only be seen through the screen's own pixels.
if [ -n "$render" ]; then
  shoot() { import -window root "$out/$1.png"; }
else
  shoot() { import -window "$image_window" "$out/$1.png"; }
fi
# Presses the left button at X,Y, moves it by DX,DY in ten steps, and lets go.
drag() {
  xdotool mousemove "$1" "$2" mousedown 1
  sleep 0.3
  for step in 1 2 3 4 5 6 7 8 9 10; do
    xdotool mousemove $(($1 + step * $3 / 10)) $(($2 + step * $4 / 10))
    sleep 0.1
  done
  xdotool mouseup 1
}
# Waits up to ten seconds until the image window's geometry (X, Y, WIDTH,
# HEIGHT, left set) passes the test given.
wait_for_window() {
  for _ in $(seq 50); do
    eval "$(xdotool getwindowgeometry --shell "$image_window")"
    eval "$1" && return 0
    sleep 0.2
  done
  return 1
}
# How many pixels of a screenshot differ from an image (the image file unless
# given), in the part of the window that the stay-on-top panel does not cover.
visible_width=$((panel_x < image_width ? panel_x : image_width))
visible_height=$((panel_y < image_height ? panel_y : image_height))
visible="${visible_width}x${visible_height}+0+0"
differing() {
  convert "${2:-$image}" -auto-orient -crop "$visible" +repage "$out/expected.png"
  convert "$out/$1.png" -crop "$visible" +repage "$out/$1-visible.png"
  compare -metric AE "$out/expected.png" "$out/$1-visible.png" null: 2>&1 | cut -d' ' -f1
}
shoot startup
# An even-sized image at pattern 13 shows exactly its own pixels.
[ "$(differing startup)" = "0" ] || fail "the image window does not show the image: $(differing startup) pixels differ"

# Pattern 13 -> 33: twenty presses of Right on the first slider, which has the focus.
xdotool windowfocus --sync "$panel"
xdotool key --window "$panel" --delay 30 $(printf 'Right %.0s' $(seq 20))
sleep 0.5
shoot pattern33
unsaved=yes
changed=$(differing pattern33)
[ "$changed" -gt $((visible_width * visible_height / 2)) ] 2>/dev/null ||
  fail "the image did not change at pattern 33: $changed pixels differ"

if [ -n "$render" ]; then
  "$render" --pattern 33 "$image" -o "$out/rendered.bmp" || fail "lumarq-render failed"
  [ "$(differing pattern33 "$out/rendered.bmp")" = "0" ] || fail "the screen is not lumarq-render's picture"
  # Drag the window up and left by 1000 x 800 from a point the panel leaves free:
  # what comes on screen must be the picture's parts that were off it.
  # The window stays on the screen, its size; the picture slides under it.
  drag 1200 900 -1000 -800
  # Left of the panel, the whole height of the screen.
  strip="${panel_x}x1024"
  convert "$out/rendered.bmp" -crop "$strip+1000+800" +repage "$out/dragged-expected.png"
  for _ in $(seq 20); do
    sleep 0.5
    shoot dragged
    convert "$out/dragged.png" -crop "$strip+0+0" +repage "$out/dragged-visible.png"
    dragged=$(compare -metric AE "$out/dragged-expected.png" "$out/dragged-visible.png" null: 2>&1 | cut -d' ' -f1)
    [ "$dragged" = "0" ] && break
  done
  [ "$dragged" = "0" ] || fail "after the drag, $dragged pixels on screen are not lumarq-render's picture"
  eval "$(xdotool getwindowgeometry --shell "$image_window")"
  [ "$X,$Y,$WIDTH,$HEIGHT" = "0,0,1280,1024" ] || fail "the dragged window is not the screen: $X,$Y ${WIDTH}x$HEIGHT"
fi

if [ -n "$fit" ]; then
  xdotool key ctrl+0
  wait_for_window '[ "$X" -eq 0 ] && [ "$Y" -eq 0 ] && [ "$WIDTH" -eq 1280 ] && [ "$HEIGHT" -eq 960 ]' ||
    fail "Ctrl+0 did not fit the window to the screen: $X,$Y ${WIDTH}x$HEIGHT"
  sleep 1.5  # the scale shown on the image goes away
  shoot fit
  # Left of and above the panel; the image part those screen pixels cover.
  box_width=$((panel_x < 1280 ? panel_x : 1280)) box_height=$((panel_y < 960 ? panel_y : 960))
  convert "$out/fit.png" -crop "${box_width}x$box_height+0+0" +repage -depth 8 "$out/fit-visible.ppm"
  convert "$out/rendered.bmp" -crop "$(((box_width * 25 + 7) / 8))x$(((box_height * 25 + 7) / 8))+0+0" +repage \
    -depth 8 "$out/fit-source.ppm"
  worst=$(python3 - "$out/fit-source.ppm" "$out/fit-visible.ppm" <<'EOF'
import sys

def read_ppm(path):
    data = open(path, "rb").read()
    fields, at = [], 0
    while len(fields) < 4:  # P6, width, height, maximum, each after white space
        while data[at:at + 1].isspace(): at += 1
        end = at
        while not data[end:end + 1].isspace(): end += 1
        fields.append(data[at:end]); at = end
    return int(fields[1]), int(fields[2]), data[at + 1:]

# View pixel i covers image [i q/p, (i + 1) q/p) at p/q = 8/25; each image pixel by
# the part of it inside, in 1/8 of a pixel: integers adding up to 25 per axis.
P, Q = 8, 25
def taps(i):
    begin, end = i * Q, (i + 1) * Q
    return [(j, min((j + 1) * P, end) - max(j * P, begin)) for j in range(begin // P, -(-end // P))]

sw, sh, source = read_ppm(sys.argv[1])
vw, vh, view = read_ppm(sys.argv[2])
columns = [taps(x) for x in range(vw)]
worst = 0
for y in range(vh):
    row = [0] * (3 * sw)
    for j, w in taps(y):
        line = source[3 * sw * j:3 * sw * (j + 1)]
        row = [a + w * b for a, b in zip(row, line)]
    for x in range(vw):
        for c in range(3):
            total = sum(w * row[3 * j + c] for j, w in columns[x])
            want = (2 * total + Q * Q) // (2 * Q * Q)  # nearest, halves up
            worst = max(worst, abs(view[3 * (vw * y + x) + c] - want))
print(worst)
EOF
)
  [ -n "$worst" ] && [ "$worst" -le 1 ] ||
    fail "at Fit the screen is not the box-filtered picture: a channel is off by ${worst:-?}"
  xdotool key ctrl+1
  wait_for_window '[ "$X" -eq 0 ] && [ "$Y" -eq 0 ] && [ "$WIDTH" -eq 1280 ] && [ "$HEIGHT" -eq 1024 ]' ||
    fail "Ctrl+1 did not bring back the actual-size window on the screen: $X,$Y ${WIDTH}x$HEIGHT"
  sleep 1.5
  shoot actual
  [ "$(differing actual "$out/rendered.bmp")" = "0" ] || fail "after Ctrl+1 the screen is not lumarq-render's picture"
fi

# A drop from another program opens the file: the image window takes its size.
if [ -n "$drag_source" ]; then
  dropped="$out/dropped.bmp"
  convert "$image" -crop 300x200+0+0 +repage -type TrueColor "BMP3:$dropped"
  "$drag_source" "$dropped" $((1100 / scale)) $((850 / scale)) >"$out/drag_source.log" 2>&1 &
  source_pid=$!
  for _ in $(seq 50); do
    xdotool search --onlyvisible --name '^drag source$' >/dev/null 2>&1 && break
    sleep 0.2
  done
  sleep 0.5
  drag 1140 890 -1040 -790
  # The look on screen was changed and not saved: the program asks first.
  dont_save || fail "no question about the unsaved look before the drop opened"
  wait_for_window '[ "$WIDTH" -eq 300 ] && [ "$HEIGHT" -eq 200 ]' ||
    fail "the dropped image did not open: window ${WIDTH}x$HEIGHT"
  unsaved=
  kill "$source_pid" 2>/dev/null
  source_pid=
fi

if [ "$phone_photo" = "--phone-photo" ]; then
  # Save As from the panel, which has the keyboard, then a name with the PNG extension.
  xdotool key ctrl+shift+s
  sleep 1
  xdotool key ctrl+a
  xdotool type --delay 10 "$out/result.png"
  xdotool key Return
  for _ in $(seq 25); do [ -s "$out/result.png" ] && break; sleep 0.2; done
  [ "$(identify -format '%m %wx%h' "$out/result.png" 2>/dev/null)" = "PNG 640x480" ] ||
    fail "Save As result.png did not write a 640 x 480 PNG"
  unsaved=
  convert "$out/result.png" -crop "$visible" +repage "$out/result-visible.png"
  [ "$(compare -metric AE "$out/result-visible.png" "$out/pattern33-visible.png" null: 2>&1 | cut -d' ' -f1)" = "0" ] ||
    fail "the saved PNG is not the image on screen"
fi

# File > Exit: open the menu with a click on "File", go up to its last item, choose it.
xdotool mousemove $((panel_x + 14)) $((panel_y + 8)) click 1
sleep 0.5
xdotool key Up Return
# Without a drop the picture still shows the unsaved pattern 33.
[ -z "$unsaved" ] || dont_save || fail "no question about the unsaved look at File > Exit"
for _ in $(seq 50); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.2
done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not end after File > Exit"
wait "$app_pid"
status=$?
app_pid=
[ "$status" -eq 0 ] || fail "exit status $status"
echo "passed"
