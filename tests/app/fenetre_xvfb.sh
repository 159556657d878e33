#!/usr/bin/env bash
# End to end under a real X display: the player starts on a valid film,
# shows its window, and when the window is closed every thread ends and the
# process exits with status 0 within 2 seconds.
# Usage: fenetre_xvfb.sh PLAYER CLOSER  (run inside xvfb-run)
set -u
. "$(dirname "$0")/../commun/xvfb_commun.sh"
lecteur=$1
fermer=$2
preparer_dossier
# 250 pictures, 10,000 ms, then a body.
printf '\xfa\x00\x00\x00\x10\x27\x00\x00corps' > "$dossier/cam1.mjp"

"$lecteur" "$dossier/cam1.mjp" > "$dossier/sortie.txt" 2>&1 &
pid=$!
if ! attendre_fenetre; then
  echo "ÉCHEC : pas de fenêtre principale"; cat "$dossier/sortie.txt"; kill -9 $pid; exit 1
fi
sleep 1.5 # let the workers run for a while
debut=$(date +%s%N)
if ! fermer_et_attendre "$fermer" 50; then
  echo "ÉCHEC : toujours en vie 2,5 s après la fermeture"; exit 1
fi
ms=$(( ($(date +%s%N) - debut) / 1000000 ))
echo "fermé en ${ms} ms, statut ${statut}"
[ $statut -eq 0 ] || { cat "$dossier/sortie.txt"; exit 1; }
[ $ms -le 2000 ] || { echo "ÉCHEC : plus de 2 s"; exit 1; }
echo "1 passed, 0 failed"
