#!/usr/bin/env bash
# Opens the player on the demo film, making the demo set first if needed.
set -euo pipefail
build=${1:-build}
film=""
if [ -x "$build/zr7film" ]; then
  if [ ! -f "$build/demo/film.txt" ]; then
    "$build/zr7film" --demo "$build/demo" > "$build/demo.film.tmp"
    mkdir -p "$build/demo"
    mv "$build/demo.film.tmp" "$build/demo/film.txt"
  fi
  film=$(readlink -f "$(head -n 1 "$build/demo/film.txt")")
  # The logos are read from the program folder.
  for logo in logo1.jpg logo2.jpg; do
    [ -f "$build/demo/$logo" ] && cp -f "$build/demo/$logo" "$build/$logo"
  done
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Pas d'écran : lancement sous xvfb-run." >&2
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$build/lecteurzr7" ${film:+"$film"}
fi
exec "$build/lecteurzr7" ${film:+"$film"}
