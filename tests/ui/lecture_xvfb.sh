#!/usr/bin/env bash
# End to end under a real X display: the player started on a film shows,
# after its splash, the film's pictures advancing in its picture area, and
# closes cleanly.
# Usage: lecture_xvfb.sh PLAYER FILM_MAKER NUMBER_READER CLOSER  (inside xvfb-run)
set -u
. "$(dirname "$0")/../commun/xvfb_commun.sh"
lecteur=$1
fabrique=$2
lire=$3
fermer=$4
preparer_dossier
export XDG_RUNTIME_DIR="$dossier/xdg"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# 30 s of pictures at 10 a second: still playing when the shots are taken.
film=$("$fabrique" -n 300 -r 10 "$dossier/cam1.mjp") || { echo "ÉCHEC : film non fabriqué"; exit 1; }

"$lecteur" "$film" > "$dossier/sortie.txt" 2>&1 &
pid=$!
if ! attendre_fenetre; then
  echo "ÉCHEC : pas de fenêtre principale"; cat "$dossier/sortie.txt"; kill -9 $pid; exit 1
fi

# Without logos the film is set up 2.5 s after the window and starts 2.5 s
# later; wait for a first readable picture, then for a later one.
lire_numero() {
  import -window "$fenetre" "$dossier/capture.png" 2>/dev/null || { echo -1; return; }
  "$lire" "$dossier/capture.png"
}
premier=-1
for _ in $(seq 60); do
  premier=$(lire_numero)
  [ "$premier" -ge 0 ] 2>/dev/null && break
  sleep 0.25
done
if ! [ "$premier" -ge 0 ] 2>/dev/null; then
  echo "ÉCHEC : aucun numéro d'image lisible"; cp "$dossier/capture.png" /tmp/lecture_xvfb_echec.png 2>/dev/null
  kill -9 $pid; exit 1
fi
second=-1
for _ in $(seq 40); do
  sleep 0.25
  second=$(lire_numero)
  [ "$second" -gt "$premier" ] 2>/dev/null && break
done
echo "images lues : $premier puis $second"

if ! fermer_et_attendre "$fermer" 100; then
  echo "ÉCHEC : toujours en vie après la fermeture"; exit 1
fi
[ "$second" -gt "$premier" ] 2>/dev/null || { echo "ÉCHEC : les images n'avancent pas"; exit 1; }
[ $statut -eq 0 ] || { echo "ÉCHEC : statut $statut"; cat "$dossier/sortie.txt"; exit 1; }
echo "1 passed, 0 failed"
