#!/usr/bin/env bash
# End to end: the player plays a film with sound, its sound device open on
# SDL's disk driver; SIGTERM (then SIGINT, SIGHUP in new runs) closes it as
# "Quitter" does: exit status 0 and the settings file written.
# Usage: signal_fin.sh PLAYER ZR7FILM
set -u
lecteur=$1
zr7film=$2
dossier=$(mktemp -d)
trap 'rm -rf "$dossier"' EXIT
export XDG_CONFIG_HOME="$dossier/config" XDG_RUNTIME_DIR="$dossier/run"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$dossier/son.raw"
"$zr7film" -n 300 -r 10 --son "$dossier/cam1.mjp" > /dev/null || exit 1
reglages="$XDG_CONFIG_HOME/lecteurzr7/lecteurzr7.conf"

echecs=0
for signal in TERM INT HUP; do
  rm -f "$reglages" "$SDL_DISKAUDIOFILE"
  "$lecteur" "$dossier/cam1.mjp" > "$dossier/sortie.txt" 2>&1 &
  pid=$!
  # The device is open once the disk driver's file exists; the launch film
  # starts playing after the splash.
  for _ in $(seq 100); do [ -e "$SDL_DISKAUDIOFILE" ] && break; sleep 0.1; done
  [ -e "$SDL_DISKAUDIOFILE" ] || { echo "ÉCHEC : périphérique son jamais ouvert"; cat "$dossier/sortie.txt"; }
  sleep 6
  debut=$(date +%s%N)
  kill -"$signal" "$pid"
  # A hang guard, not a timing check: the time is reported below.
  for _ in $(seq 200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
  if kill -0 "$pid" 2>/dev/null; then
    echo "ÉCHEC : SIG$signal ignoré, toujours en vie après 10 s"
    kill -9 "$pid"; wait "$pid"; echecs=$((echecs + 1)); continue
  fi
  wait "$pid"
  statut=$?
  ms=$(( ($(date +%s%N) - debut) / 1000000 ))
  echo "SIG$signal : fini en ${ms} ms, statut ${statut}"
  if [ "$statut" -ne 0 ]; then
    echo "ÉCHEC : statut $statut"; cat "$dossier/sortie.txt"; echecs=$((echecs + 1))
  elif [ ! -s "$reglages" ]; then
    echo "ÉCHEC : réglages non écrits"; echecs=$((echecs + 1))
  fi
done
[ "$echecs" -eq 0 ] || exit 1
echo "3 passed, 0 failed"
