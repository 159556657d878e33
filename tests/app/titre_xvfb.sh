#!/usr/bin/env bash
# The caption the window system sees, read from the mapped window's
# properties: exactly "VelmoraZR7 : Lecteur autonome", nothing added.
# Usage: titre_xvfb.sh PLAYER CLOSER  (run inside xvfb-run)
set -u
. "$(dirname "$0")/../commun/xvfb_commun.sh"
lecteur=$1
fermer=$2
preparer_dossier

"$lecteur" > "$dossier/sortie.txt" 2>&1 &
pid=$!
if ! attendre_fenetre; then
  echo "ÉCHEC : pas de fenêtre principale"; cat "$dossier/sortie.txt"; kill -9 $pid; exit 1
fi
attendu='"VelmoraZR7 : Lecteur autonome"'
echec=0
for propriete in _NET_WM_NAME WM_NAME; do
  valeur=$(xprop -id "$fenetre" "$propriete" | sed 's/^[^=]*= //')
  echo "$propriete = $valeur"
  [ "$valeur" = "$attendu" ] || { echo "ÉCHEC : $propriete n'est pas $attendu"; echec=1; }
done
fermer_et_attendre "$fermer" 100 || echo "fermeture forcée"
[ $echec -eq 0 ] || exit 1
echo "1 passed, 0 failed"
