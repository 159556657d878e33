#!/usr/bin/env bash
# End to end under a real X display: seeking with the position slider, Play
# from the new place, full screen by double click and back with Escape, and
# a film larger than the area shown at its real size.
# Usage: position_xvfb.sh PLAYER FILM_MAKER NUMBER_READER CLOSER  (inside xvfb-run)
set -u
. "$(dirname "$0")/../commun/xvfb_commun.sh"
lecteur=$1
fabrique=$2
lire=$3
fermer=$4
preparer_dossier
export XDG_RUNTIME_DIR="$dossier/xdg"
mkdir -m 700 "$XDG_RUNTIME_DIR"
pid=""
trap '[ -n "$pid" ] && kill -9 $pid 2>/dev/null; rm -rf "$dossier"' EXIT

# Designed places (pixels) in the window's client area, below the picture.
hauteur_pied=131
bloc_x=248; bloc_y=5                  # play block in the footer
curseur_x=17; curseur_y=41; curseur_h=20  # slider in the play block
play_x=91; play_y=67; play_l=55; play_h=24
taille_x=800; taille_y=73             # "Taille réelle" in the footer
marge_pied=249                        # footer width not given to the play block

echec() {
  echo "ÉCHEC : $*"
  cp "$dossier/capture.png" /tmp/position_xvfb_echec.png 2>/dev/null
  cat "$dossier/sortie.txt" 2>/dev/null
  exit 1
}

demarrer() {
  "$lecteur" "$1" > "$dossier/sortie.txt" 2>&1 &
  pid=$!
  attendre_fenetre || echec "pas de fenêtre principale"
  eval "$(xdotool getwindowgeometry --shell "$fenetre")" # X, Y, WIDTH, HEIGHT
  haut_pied=$((Y + HEIGHT - hauteur_pied))
}

arreter() {
  local statut
  fermer_et_attendre "$fermer" 100 || echec "toujours en vie après la fermeture"
  pid=""
  [ $statut -eq 0 ] || echec "statut $statut"
}

capturer() {
  import -window "$fenetre" "$dossier/capture.png" 2>/dev/null
}

# Picture number shown (-1 if none); $1: footer height in the capture.
numero() {
  capturer || { echo -1; return; }
  "$lire" -p "${1:-$hauteur_pied}" "$dossier/capture.png"
}

# Waits until the number shown satisfies "$1 $2" (e.g. -ge 5); prints it.
attendre_numero() {
  local n=-1
  for _ in $(seq "${3:-40}"); do
    n=$(numero)
    [ "$n" -ge 0 ] 2>/dev/null && [ "$n" "$1" "$2" ] && break
    sleep 0.25
  done
  echo "$n"
}

hauteur_image() { # height of the picture box; $1: footer height
  capturer && "$lire" -b -p "$1" "$dossier/capture.png" | cut -d' ' -f4
}

# --- Seeking, Play from there, full screen ---------------------------------
# 30 s at 10 pictures a second: picture n is shown at n / 10 s.
film=$("$fabrique" -n 300 -r 10 "$dossier/cam1.mjp") || echec "film non fabriqué"
demarrer "$film"
# The first picture is shown 2.5 s after the window opens and playback
# starts 2.5 s later: wait until the pictures have moved on.
premier=$(attendre_numero -ge 5 60)
[ "$premier" -ge 5 ] 2>/dev/null || echec "pas de lecture ($premier)"
[ "$premier" -lt 100 ] || echec "lecture partie de $premier"

# Drag the slider from a quarter to the middle of its length, then release:
# the middle of the slider is half the film, 15 s, picture 150. The middle
# button sets the slider where it is pressed, then drags it.
curseur_l=$((WIDTH - marge_pied - 2 * curseur_x))
gauche=$((X + bloc_x + curseur_x))
cy=$((haut_pied + bloc_y + curseur_y + curseur_h / 2))
xdotool mousemove $((gauche + curseur_l / 4)) $cy mousedown 2
sleep 0.2
xdotool mousemove $((gauche + curseur_l / 3)) $cy
sleep 0.1
xdotool mousemove $((gauche + curseur_l / 2)) $cy
sleep 0.2
xdotool mouseup 2
# The film has long been indexed (it takes milliseconds): the seek shows the
# picture of the time, 15 s of 30, picture 150 of 300 exactly, not the
# picture at half the file's bytes.
attendue=150
cherche=$(attendre_numero -ge $((attendue - 1)) 40)
[ "$cherche" -eq "$attendue" ] 2>/dev/null ||
  echec "après le déplacement : image $cherche, attendue $attendue"
# A seek leaves the film stopped.
sleep 1
encore=$(numero)
[ "$encore" = "$cherche" ] || echec "la lecture continue après le déplacement ($cherche puis $encore)"
echo "déplacé au milieu : image $cherche (attendue $attendue), arrêtée"

# Play continues from there.
xdotool mousemove $((X + bloc_x + play_x + play_l / 2)) $((haut_pied + bloc_y + play_y + play_h / 2)) click 1
suite=$(attendre_numero -gt "$cherche" 40)
[ "$suite" -gt "$cherche" ] 2>/dev/null && [ "$suite" -lt $((cherche + 60)) ] || echec "Play : image $suite après $cherche"
echo "lecture reprise : image $suite"

# Full screen by double click on the picture: the footer goes, the picture
# grows and is still read whole.
hauteur_normale=$(hauteur_image $hauteur_pied)
xdotool mousemove $((X + WIDTH / 2)) $((Y + (HEIGHT - hauteur_pied) / 2)) click --repeat 2 --delay 80 1
grand=0
for _ in $(seq 20); do
  sleep 0.25
  grand=$(hauteur_image 0)
  [ "$grand" -gt $((hauteur_normale + 100)) ] 2>/dev/null && break
done
[ "$grand" -gt $((hauteur_normale + 100)) ] 2>/dev/null || echec "plein écran : hauteur $grand (normale $hauteur_normale)"
plein=$(numero 0)
[ "$plein" -ge "$cherche" ] 2>/dev/null || echec "plein écran : image illisible ($plein)"
echo "plein écran : hauteur de l'image $hauteur_normale -> $grand, image $plein"

# Escape brings the footer back.
xdotool windowfocus "$fenetre" 2>/dev/null
xdotool key Escape
retour=0
for _ in $(seq 20); do
  sleep 0.25
  retour=$(hauteur_image $hauteur_pied)
  [ "$retour" = "$hauteur_normale" ] && break
done
[ "$retour" = "$hauteur_normale" ] || echec "Échap : hauteur $retour, attendue $hauteur_normale"
[ "$(numero)" -ge 0 ] 2>/dev/null || echec "Échap : image illisible au-dessus du pied"
echo "Échap : retour à la hauteur $retour"
arreter

# --- Real size --------------------------------------------------------------
# 1600 x 1200 is 4:3: shown at its own size, its code row blocks keep their
# pixel size (0.92 x 1600 / 21 = 70 wide, 0.14 x 1200 = 168 high) where a
# fitted picture shrinks them to a quarter.
grand_film=$("$fabrique" -n 50 -r 10 -t 1600x1200 "$dossier/grand.mjp") || echec "grand film non fabriqué"
demarrer "$grand_film"
xdotool mousemove $((X + taille_x + 8)) $((haut_pied + taille_y + 10)) click 1
# Scroll to the bottom of the picture once it is there (its first picture
# is shown 2.5 s after the window opens), where the code row lies.
taille="0 0"
for _ in $(seq 40); do
  sleep 0.25
  xdotool mousemove $((X + WIDTH / 2)) $((Y + (HEIGHT - hauteur_pied) / 2)) click --repeat 15 --delay 5 5
  capturer || continue
  taille=$("$lire" -g "$dossier/capture.png")
  set -- $taille
  [ "$1" -ge 66 ] && [ "$1" -le 74 ] && [ "$2" -ge 160 ] && [ "$2" -le 172 ] && break
done
set -- $taille
[ "$1" -ge 66 ] && [ "$1" -le 74 ] && [ "$2" -ge 160 ] && [ "$2" -le 172 ] || echec "taille réelle : bloc de garde $1 x $2, attendu 70 x 168"
echo "taille réelle : bloc de garde $1 x $2"
arreter
echo "1 passed, 0 failed"
