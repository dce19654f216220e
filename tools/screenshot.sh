#!/usr/bin/env bash
# Takes a screenshot of the window with real PDF files loaded, on a virtual
# X display (Debian packages xvfb, imagemagick, xdotool).
#
#   tools/screenshot.sh [options] OUT.png [FILE.pdf ...]
#
# Without files (and without --config) the demo fixture (tools/fixtures,
# built as make_fixture_pdf) is written and loaded. Options:
#   --config DIR   keep the preferences in DIR (XDG_CONFIG_HOME), so that a
#                  second run shows what the first one left; default: a new
#                  temporary folder, so the user's own settings are never touched
#   --keys "K ..." keys to press once the thumbnails are there (xdotool names,
#                  e.g. "ctrl+3"; "click:X,Y" clicks there, "rclick:X,Y" right-clicks,
#                  "ctrlclick:X,Y" adds to the selection, "drag:X1,Y1,X2,Y2" drags
#                  with the left button, "type:TEXT" types, "sleep:S" waits), each
#                  followed by a short pause
#   --wait S       seconds to wait for the thumbnails after the window shows (default 4)
#   --size WxH     screen size (default 1280x800)
#   --quit         quit with Ctrl+Q after the shot (the preferences are then written)
#   --build DIR    build folder (default build)
#   --clip FILE    after the keys, save the clipboard's "image/png" there (xclip)
#   --log FILE     write the program's output there, with the thumbnail timing
#                  lines (zembrix.thumbnails) and the launch time first
set -euo pipefail
cd "$(dirname "$0")/.."

config="" keys="" wait_s=4 size=1280x800 quit=0 build=build log="" clip=""
while [ $# -gt 0 ]; do
  case "$1" in
    --config) config=$2; shift 2 ;;
    --keys) keys=$2; shift 2 ;;
    --wait) wait_s=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    --quit) quit=1; shift ;;
    --build) build=$2; shift 2 ;;
    --log) log=$2; shift 2 ;;
    --clip) clip=$2; shift 2 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || { sed -n 2,23p "$0" >&2; exit 2; }
out=$1; shift
for tool in Xvfb import xdotool; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool is missing (apt-get install xvfb imagemagick xdotool)" >&2; exit 1; }
done

tmp=$(mktemp -d)
xvfb_pid="" app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

files=("$@")
if [ ${#files[@]} -eq 0 ] && [ -z "$config" ]; then
  "$build/tools/make_fixture_pdf" demo "$tmp/demo.pdf"
  files=("$tmp/demo.pdf")
fi
export XDG_CONFIG_HOME=${config:-$tmp/config}
mkdir -p "$XDG_CONFIG_HOME"

display=99
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 "${size}x24" -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

start=$(date +%s.%N)
unset QT_QPA_PLATFORM
if [ -n "$log" ]; then
  export QT_LOGGING_RULES="zembrix.thumbnails.debug=true"
  echo "$(date +%s%3N) launch" >"$log"
fi
"$build/src/zembrix" ${files[@]+"${files[@]}"} >"$tmp/app.log" 2>&1 &
app_pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zembrix$' | head -1)
shown=$(date +%s.%N)
w=${size%x*} h=${size#*x}
xdotool windowmove "$wid" 0 0 windowsize "$wid" "$w" "$h" windowfocus "$wid" || true
sleep "$wait_s"
for key in $keys; do
  case "$key" in
    click:*) xy=${key#click:}; xdotool mousemove "${xy%,*}" "${xy#*,}" click 1 ;;
    rclick:*) xy=${key#rclick:}; xdotool mousemove "${xy%,*}" "${xy#*,}" click 3 ;;
    ctrlclick:*) xy=${key#ctrlclick:}; xdotool mousemove "${xy%,*}" "${xy#*,}" keydown ctrl click 1 keyup ctrl ;;
    drag:*)
      IFS=, read -r x1 y1 x2 y2 <<<"${key#drag:}"
      xdotool mousemove "$x1" "$y1" mousedown 1
      for i in 1 2 3 4 5 6 7 8; do
        xdotool mousemove $((x1 + (x2 - x1) * i / 8)) $((y1 + (y2 - y1) * i / 8)); sleep 0.05
      done
      xdotool mouseup 1 ;;
    sleep:*) sleep "${key#sleep:}" ;;
    type:*) xdotool type --delay 40 "${key#type:}" ;;
    *) xdotool key --clearmodifiers "$key" ;;
  esac
  sleep 1.5
done
import -window root "$out"
if [ -n "$clip" ]; then
  command -v xclip >/dev/null || { echo "screenshot.sh: xclip is missing (apt-get install xclip)" >&2; exit 1; }
  timeout 10 xclip -selection clipboard -t image/png -o >"$clip"
fi
printf 'screenshot.sh: window after %.1f s, picture taken %.1f s later: %s\n' \
  "$(echo "$shown - $start" | bc)" "$(echo "$(date +%s.%N) - $shown" | bc)" "$out"
if [ -n "$log" ]; then cat "$tmp/app.log" >>"$log"; fi
if [ "$quit" = 1 ]; then
  xdotool windowfocus "$wid" key ctrl+q || true
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  if ! kill -0 "$app_pid" 2>/dev/null; then app_pid=""; fi
fi
