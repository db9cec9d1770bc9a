#!/usr/bin/env bash
# Makes the screenshots of the AppStream metainfo from a build: the window of
# kavum under Xvfb, with a window manager when one is installed (openbox,
# icewm), in a Japanese locale, on the bundled map and sample data.
#
#   scripts/screenshots.sh [BUILD-FOLDER] [OUTPUT-FOLDER]
#
# writes OUTPUT-FOLDER/kavum-board.png (the settings board at start) and
# OUTPUT-FOLDER/kavum-three-views.png (the three views of the sample data).
# Needs xvfb-run and ImageMagick (import, convert).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
out=$(realpath -m "${2:-packaging/screenshots}")
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Settings naming the bundled map and samples; an empty home, so that no
# window state or recent files of the user come in.
cmake -DTEMPLATE=assets/kavum.ini -DASSETS="$PWD/assets" -DOUTPUT="$work/shots.ini" -DREPLACE=1 \
  -P assets/DefaultSettings.cmake
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" LANG=ja_JP.UTF-8 LC_ALL=
mkdir -p "$HOME"

shoot() {  # shoot NAME [ARGUMENTS...]
  local name=$1
  shift
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    out=$1; shift
    wm=$(command -v openbox || command -v icewm || true)
    if [ -n "$wm" ]; then "$wm" >/dev/null 2>&1 & sleep 1; fi
    "$@" & pid=$!
    sleep 5
    import -window root "$out"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  ' shoot "$work/$name.png" "$build/kavum" "$@"
  # The window alone: the screen around it is black.
  convert "$work/$name.png" -trim +repage "$out/$name.png"
  echo "$out/$name.png"
}

shoot kavum-board "$work/shots.ini"
shoot kavum-three-views "$work/shots.ini" "$PWD/assets/samples/mountains.grd"
