#!/usr/bin/env bash
# Measure windows over the picture under a real X display with a compositor.
# Usage: capture_xvfb.sh CAPTURE_PROGRAM FILM_MAKER  (inside xvfb-run)
set -u
capture=$1
fabrique=$2
dossier=$(mktemp -d)
export XDG_RUNTIME_DIR="$dossier/xdg"
mkdir -m 700 "$XDG_RUNTIME_DIR"
trap 'kill $compositeur 2>/dev/null; rm -rf "$dossier"' EXIT
film=$("$fabrique" -n 300 -r 10 -t 640x480 -m "$dossier/cam1.mjp") || { echo "ÉCHEC : film non fabriqué"; exit 1; }
xcompmgr & compositeur=$!
sleep 1
if ! "$capture" "$film" "$dossier"; then
  cp "$dossier"/capture_*.png /tmp/ 2>/dev/null
  echo "ÉCHEC (captures dans /tmp/capture_mesures.png et /tmp/capture_sans_mesures.png)"; exit 1
fi
echo "1 passed, 0 failed"
