#!/usr/bin/env bash
# Measure windows over the picture under a real X display with a compositor.
# Starts its own Xvfb on a display number the server picks itself
# (-displayfd), so that it never races other display tests run in parallel.
# Usage: capture_xvfb.sh CAPTURE_PROGRAM FILM_MAKER [direct]
set -u
capture=$1
fabrique=$2
mode=${3:-}
dossier=$(mktemp -d)
export XDG_RUNTIME_DIR="$dossier/xdg"
mkdir -m 700 "$XDG_RUNTIME_DIR"
serveur=""
compositeur=""
trap 'kill $compositeur $serveur 2>/dev/null; rm -rf "$dossier"' EXIT
film=$("$fabrique" -n 300 -r 10 -t 640x480 -m "$dossier/cam1.mjp") || { echo "ÉCHEC : film non fabriqué"; exit 1; }

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dossier/ecran" 2>"$dossier/xvfb.txt" &
serveur=$!
for _ in $(seq 100); do
  [ -s "$dossier/ecran" ] && break
  sleep 0.1
done
[ -s "$dossier/ecran" ] || { echo "ÉCHEC : pas de serveur X"; cat "$dossier/xvfb.txt"; exit 1; }
export DISPLAY=":$(head -n 1 "$dossier/ecran")"
xcompmgr & compositeur=$!
sleep 1
if ! "$capture" "$film" "$dossier" $mode; then
  cp "$dossier"/capture_*.png /tmp/ 2>/dev/null
  echo "ÉCHEC (captures dans /tmp/capture_mesures.png et /tmp/capture_sans_mesures.png)"; exit 1
fi
echo "1 passed, 0 failed"
