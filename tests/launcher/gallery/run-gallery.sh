#!/usr/bin/env bash
# Runs every case of the launcher's gallery under Xvfb and Wine and writes one
# screenshot per case into BUILD_DIR/gallery/CASE@SCALE.png, for people to look
# at; fails when a case never shows or a main window case's check fails (a
# status or speed line cut, outside the window or running into the other).
# Usage: run-gallery.sh BUILD_DIR [CASE...]
# The X server and the prefix come from tests/wine/prefix-setup.sh (run first
# when they are missing, e.g. outside CTest).
set -euo pipefail
BUILD_DIR=$(cd "$1" && pwd); shift
export BUILD_DIR
here=$(cd "$(dirname "$0")" && pwd)
wine_dir=$(cd "$here/../../wine" && pwd)
if [ ! -f "$BUILD_DIR/wine-display" ] || ! kill -0 "$(cat "$BUILD_DIR/xvfb.pid" 2>/dev/null)" 2>/dev/null; then
  "$wine_dir/prefix-setup.sh" "$BUILD_DIR"
fi
source "$wine_dir/wine-env.sh"

cases=("$@")
if [ ${#cases[@]} -eq 0 ]; then
  cases=(box-style0 box-style1 box-style4-swap box-nested box-long-text
         main-start main-download main-download-end main-longest-lines main-failure-box main-close-box)
fi
# With a compositing manager the screenshots show the per-pixel alpha as a
# player's desktop does (soft shadows); without one X shows semi-transparent
# pixels unblended. xcompmgr is used when installed (tools/setup.sh).
comp_pid=""
if command -v xcompmgr >/dev/null; then
  xcompmgr -d "$DISPLAY" -n >/dev/null 2>&1 &
  comp_pid=$!
  trap '[ -n "$comp_pid" ] && kill "$comp_pid" 2>/dev/null' EXIT
  sleep 0.5
fi

out="$BUILD_DIR/gallery"
mkdir -p "$out"
exe=$(wine_path_of "$BUILD_DIR/bin/ui_gallery.exe")
failed=0
for scale in 1 1.5; do
  for c in "${cases[@]}"; do
    shot="$out/$c@$scale.png"
    rm -f "$shot"
    log="$out/$c@$scale.log"
    : > "$log"
    # The program prints READY with the rectangle to photograph, then holds.
    coproc GALLERY { wine_run "$exe" "$c" --scale "$scale" --hold 1200 2>&1; }
    pid=$GALLERY_PID
    exec {from}<&"${GALLERY[0]}"
    ready=""
    while IFS= read -r -t 60 line <&"$from"; do
      echo "$line" >> "$log"
      case "$line" in
        READY*) ready="$line"; break;;
      esac
    done
    if [ -n "$ready" ]; then
      read -r _ l t r b <<< "${ready//$'\r'/}"
      import -display "$DISPLAY" -window root -crop "$((r - l))x$((b - t))+$l+$t" +repage "$shot"
      echo "gallery: $c at scale $scale -> $shot"
    else
      echo "gallery: $c at scale $scale never became ready" >&2
      failed=1
    fi
    cat <&"$from" >> "$log" || true
    exec {from}<&-
    wait "$pid" || true
    # The main window's cases check what a player must be able to read.
    if grep -q "CHECK FAILED" "$log"; then
      grep "CHECK FAILED" "$log" | sed "s/^/gallery: $c at scale $scale: /" >&2
      failed=1
    fi
  done
done
exit $failed
