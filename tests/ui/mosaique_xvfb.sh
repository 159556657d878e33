#!/usr/bin/env bash
# End to end under a real X display, as a new user would: two films named
# on the command line, B recorded from 20 s after A (25 pictures a second),
# open side by side on one clock. "Aller à" 10:00:30 shows A's picture 750
# and B's 250, "." shows 751 and 251, and after playing forwards, then
# backwards (J, K), A - B is still 500.
# The numbers are read back from screenshots of each tile.
# Usage: mosaique_xvfb.sh PLAYER FILM_MAKER NUMBER_READER CLOSER  (inside xvfb-run)
set -u
. "$(dirname "$0")/../commun/xvfb_commun.sh"
lecteur=$1
fabrique=$2
lire=$3
fermer=$4
preparer_dossier
export XDG_RUNTIME_DIR="$dossier/xdg"
mkdir -m 700 "$XDG_RUNTIME_DIR"
a=$("$fabrique" -n 1500 -r 25 -D "12/05/2014 10:00:00" "$dossier/A.mjp") || { echo "ÉCHEC : film A non fabriqué"; exit 1; }
b=$("$fabrique" -n 1500 -r 25 -D "12/05/2014 10:00:20" "$dossier/B.mjp") || { echo "ÉCHEC : film B non fabriqué"; exit 1; }

"$lecteur" "$a" "$b" > "$dossier/sortie.txt" 2>&1 &
pid=$!
echec() {
  echo "ÉCHEC : $1"
  cp "$dossier/capture.png" /tmp/mosaique_xvfb_echec.png 2>/dev/null
  cat "$dossier/sortie.txt"
  kill -9 $pid 2>/dev/null
  exit 1
}
attendre_fenetre || echec "pas de fenêtre principale"

# "A B": the numbers on the left and right halves of the window (the two
# tiles), -1 for one that cannot be read.
numeros() {
  import -window "$fenetre" "$dossier/capture.png" 2>/dev/null || { echo "-1 -1"; return; }
  read -r l h < <(identify -format "%w %h" "$dossier/capture.png")
  local m=$((l / 2))
  convert "$dossier/capture.png" -crop "${m}x${h}+0+0" +repage "$dossier/gauche.png"
  convert "$dossier/capture.png" -crop "$((l - m))x${h}+${m}+0" +repage "$dossier/droite.png"
  echo "$("$lire" "$dossier/gauche.png") $("$lire" "$dossier/droite.png")"
}
# Waits until the tiles show "A B" ($1), $2 tries 250 ms apart; prints
# what was seen last.
attendre_numeros() {
  local n=""
  for _ in $(seq "$2"); do
    n=$(numeros)
    [ "$n" = "$1" ] && { echo "$n"; return 0; }
    sleep 0.25
  done
  echo "$n"
  return 1
}
touche() {
  xdotool windowfocus "$fenetre" 2>/dev/null
  xdotool key "$1"
}
# Ctrl+G, then the time typed in the "Aller à…" box.
aller_a() {
  touche ctrl+g
  local d=""
  for _ in $(seq 50); do
    d=$(xdotool search --onlyvisible --name "Aller à" 2>/dev/null | head -n 1)
    [ -n "$d" ] && break
    sleep 0.1
  done
  [ -n "$d" ] || return 1
  xdotool windowfocus --sync "$d" 2>/dev/null
  xdotool key ctrl+a
  xdotool type --delay 40 "$1"
  xdotool key Return
}

# The films open stopped at 10:00:00: A's first picture, nothing of B's.
vu=$(attendre_numeros "0 -1" 80) || echec "ouverture : « $vu » au lieu de « 0 -1 »"
# The go-to is exact once the films are indexed (a second or two): asked
# again until then.
ok=0
for _ in 1 2 3 4 5; do
  aller_a "10:00:30" || echec "pas de boîte « Aller à… »"
  if vu=$(attendre_numeros "750 250" 12); then ok=1; break; fi
done
[ $ok -eq 1 ] || echec "Aller à 10:00:30 : « $vu » au lieu de « 750 250 »"
echo "Aller à 10:00:30 : $vu"
touche period
vu=$(attendre_numeros "751 251" 40) || echec "« . » : « $vu » au lieu de « 751 251 »"
echo "« . » : $vu"

# Played, then paused: both moved on, still 500 apart.
touche space
sleep 2
touche space
sleep 1
vu=$(numeros)
read -r na nb <<< "$vu"
echo "après lecture : $vu"
[ "$na" -gt 751 ] 2>/dev/null || echec "la lecture n'a pas avancé : « $vu »"
[ $((na - nb)) -eq 500 ] || echec "après lecture A - B = $((na - nb)) au lieu de 500"

# Backwards (J) a while, then paused (K): both went back, still 500 apart.
avant=$na
touche j
sleep 2
touche k
sleep 1
vu=$(numeros)
read -r na nb <<< "$vu"
echo "après lecture arrière : $vu"
[ "$na" -lt "$avant" ] 2>/dev/null || echec "la lecture arrière n'a pas reculé : « $vu » (avant $avant)"
[ $((na - nb)) -eq 500 ] || echec "après lecture arrière A - B = $((na - nb)) au lieu de 500"

fermer_et_attendre "$fermer" 100 || echec "toujours en vie après la fermeture"
[ $statut -eq 0 ] || { echo "ÉCHEC : statut $statut"; cat "$dossier/sortie.txt"; exit 1; }
echo "1 passed, 0 failed"
