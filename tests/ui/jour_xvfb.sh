#!/usr/bin/env bash
# End to end under a real X display and a window manager, as a new user
# meets a folder of hourly films: the day strip above the footer, a preview
# on hovering the slider, a rectangle drawn with Shift+drag, a search of the
# day's films whose hits are marked on the slider and the strip, "N" to the
# next hit (in another film), and a click on a hit of another film that
# brings that film's picture of the moment. Every check is read back from a screenshot.
# Usage: jour_xvfb.sh PLAYER HELPER CLOSER  (inside xvfb-run)
set -u
. "$(dirname "$0")/../commun/xvfb_commun.sh"
lecteur=$1
outil=$2
fermer=$3
preparer_dossier
export XDG_RUNTIME_DIR="$dossier/xdg"
mkdir -m 700 "$XDG_RUNTIME_DIR"
pid=""
wm=""
trap '[ -n "$pid" ] && kill -9 $pid 2>/dev/null; [ -n "$wm" ] && kill $wm 2>/dev/null; rm -rf "$dossier"' EXIT

# Designed places (pixels) in the window's client area, as position_xvfb.sh.
hauteur_pied=131
hauteur_jour=40                        # the day strip, right above the footer
bloc_x=248; bloc_y=5                   # play block in the footer
curseur_x=17; curseur_y=41; curseur_h=20
marge_pied=249
largeur_panneau=440                    # room kept for the search panel on the right
# Colours the player draws (RRGGBB): the cursor and the left edge of a film
# on the strip, the hits on the strip and under the slider, the rectangle.
blanc=ffffff
bord_film=1e3c5a
marque_jour=e84030
marque_curseur=ff8c00
rectangle=ff4020
surlignage=308cc6                      # the chosen row of a list

echec() {
  echo "ÉCHEC : $*"
  echo "fenêtre ${X:-?} ${Y:-?} ${WIDTH:-?} x ${HEIGHT:-?} ; image ${px:-?} ${py:-?} ${pl:-?} x ${ph:-?}"
  cp "$dossier/capture.png" /tmp/jour_xvfb_echec.png 2>/dev/null
  cat "$dossier/sortie.txt" 2>/dev/null
  exit 1
}

capturer() {
  import -window root "$dossier/capture.png" 2>/dev/null
}
# Pixels of colour $1 in the region $2..$5 of the last capture, each
# channel within 40 (within $6 when given).
compter() {
  "$outil" couleur "$1" "${6:-40}" "$2" "$3" "$4" "$5" "$dossier/capture.png"
}
# The picture shown: sets px py pl ph (0 when none) from the last capture;
# the right of the window, where the search panel goes, left out.
boite_image() {
  read -r px py pl ph < <("$outil" image $((X + 3)) $((Y + 3)) $((WIDTH - 6 - largeur_panneau)) \
    $((HEIGHT - hauteur_pied - hauteur_jour - 6)) "$dossier/capture.png")
}
# Makes window $1 the active one (the keys go there); 1 when it does not
# become so within 5 s. No --sync: it would wait for ever if refused.
activer() {
  for _ in $(seq 25); do
    timeout 2 xdotool windowactivate "$1" 2>/dev/null
    sleep 0.2
    [ "$(timeout 2 xdotool getactivewindow 2>/dev/null)" = "$1" ] && return 0
  done
  return 1
}
# Number of the picture shown (-1 if none).
numero() {
  capturer || { echo -1; return; }
  boite_image
  [ "$pl" -gt 0 ] || { echo -1; return; }
  "$outil" numero "$px" "$py" "$pl" "$ph" "$dossier/capture.png"
}
# Waits until the picture shown is number $1; prints the last one read.
attendre_numero() {
  local n=-1
  for _ in $(seq 60); do
    n=$(numero)
    [ "$n" = "$1" ] && break
    sleep 0.25
  done
  echo "$n"
}

# --- A window manager, three hourly films ------------------------------------
openbox --sm-disable > /dev/null 2>&1 &
wm=$!
gestionnaire=0
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && gestionnaire=1 && break
  sleep 0.1
done
[ $gestionnaire -eq 1 ] || echec "openbox ne démarre pas"
mapfile -t films < <("$outil" films "$dossier")
[ "${#films[@]}" -eq 3 ] || echec "films non fabriqués"

# The hits the command line finds in the rectangle drawn below (picture
# pixels of the 320 x 240 films): where the window's must land.
premier_debut() { "$lecteur" --chercher-mouvement "$1" 170 15 140 152 | head -n 1 | cut -d' ' -f1; }
debut_a=$(premier_debut "${films[0]}")
debut_c=$(premier_debut "${films[2]}")
[ -n "$debut_a" ] && [ -n "$debut_c" ] || echec "la ligne de commande ne trouve pas les mouvements"
attendu_a=$(awk -v d="$debut_a" 'BEGIN { printf "%d", 1000 + int(d * 10 + 0.5) }')
attendu_c=$(awk -v d="$debut_c" 'BEGIN { printf "%d", 1200 + int(d * 10 + 0.5) }')

"$lecteur" "${films[0]}" > "$dossier/sortie.txt" 2>&1 &
pid=$!
attendre_fenetre || echec "pas de fenêtre principale"
# The window opens maximized: wait until the window manager has made it so
# (its size then stays put).
avant=""
for _ in $(seq 50); do
  sleep 0.2
  # xwininfo: xdotool counts the frame twice under a window manager.
  geometrie=$(xwininfo -id "$fenetre" | awk '/Absolute upper-left X/ { print "X=" $4 }
    /Absolute upper-left Y/ { print "Y=" $4 } /Width:/ { print "WIDTH=" $2 } /Height:/ { print "HEIGHT=" $2 }')
  eval "$geometrie"
  [ "$geometrie" = "$avant" ] && [ "$WIDTH" -gt 1500 ] && break
  avant=$geometrie
done
[ "$WIDTH" -gt 1500 ] || echec "fenêtre non agrandie ($WIDTH x $HEIGHT)"
haut_pied=$((Y + HEIGHT - hauteur_pied))
haut_jour=$((haut_pied - hauteur_jour))

# The first picture comes 2.5 s after the window opens.
n=-1
for _ in $(seq 60); do
  n=$(numero)
  [ "$n" -ge 1000 ] 2>/dev/null && [ "$n" -lt 1080 ] && break
  sleep 0.25
done
[ "$n" -ge 1000 ] 2>/dev/null && [ "$n" -lt 1080 ] || echec "pas d'image du film de 10 h ($n)"
echo "film ouvert : image $n"

# --- The day strip: the films of 10 h, 11 h and 12 h at their places --------
# The whole day spans the strip: a film of 8 s is its left edge (a line of
# the edge colour down the band), the current one under the white cursor.
x_heure() { echo $((X + WIDTH * $1 / 24)); }
bande=$((hauteur_jour - 14))
capturer
curseur10=$(compter $blanc $(($(x_heure 10) - 2)) "$haut_jour" 6 "$hauteur_jour" 16)
bord11=$(compter $bord_film $(($(x_heure 11) - 2)) "$haut_jour" 6 "$hauteur_jour" 16)
bord12=$(compter $bord_film $(($(x_heure 12) - 2)) "$haut_jour" 6 "$hauteur_jour" 16)
ailleurs=$(compter $bord_film $(($(x_heure 14) - 2)) "$haut_jour" 6 "$hauteur_jour" 16)
[ "$curseur10" -ge "$bande" ] && [ "$bord11" -ge "$bande" ] && [ "$bord12" -ge "$bande" ] && [ "$ailleurs" -eq 0 ] ||
  echec "bandeau du jour : curseur à 10 h $curseur10, films à 11 h $bord11 et 12 h $bord12, à 14 h $ailleurs pixels"
echo "bandeau du jour : curseur à 10 h, films à 11 h et 12 h, rien à 14 h"

# --- A preview on hovering the slider ---------------------------------------
curseur_l=$((WIDTH - marge_pied - 2 * curseur_x))
gauche=$((X + bloc_x + curseur_x))
haut_curseur=$((haut_pied + bloc_y + curseur_y))
cx=$((gauche + curseur_l / 2))
cy=$((haut_curseur + curseur_h / 2))
apercu=-1
for _ in $(seq 40); do
  xdotool mousemove $((cx - 1)) $cy
  sleep 0.05
  xdotool mousemove $cx $cy
  sleep 0.2
  capturer || continue
  apercu=$("$outil" apercu $cx "$haut_curseur" "$dossier/capture.png")
  [ "$apercu" -ge 1000 ] 2>/dev/null && [ "$apercu" -lt 1080 ] && break
done
[ "$apercu" -ge 1000 ] 2>/dev/null && [ "$apercu" -lt 1080 ] || echec "pas d'aperçu au survol du curseur ($apercu)"
echo "aperçu au survol du milieu du curseur : image $apercu"

# --- Shift+drag a rectangle on the upper right of the picture ---------------
capturer
boite_image
[ "$pl" -gt 0 ] || echec "image introuvable"
x0=$((px + pl * 53 / 100)); y0=$((py + ph * 6 / 100))
x1=$((px + pl * 97 / 100)); y1=$((py + ph * 70 / 100))
xdotool mousemove $x0 $y0 keydown shift
sleep 0.1
xdotool mousedown 1
sleep 0.1
xdotool mousemove $(((x0 + x1) / 2)) $(((y0 + y1) / 2))
sleep 0.1
xdotool mousemove $x1 $y1
sleep 0.1
xdotool mouseup 1
sleep 0.1
xdotool keyup shift
# The search panel opens: moved beside the picture.
panneau=""
for _ in $(seq 40); do
  panneau=$(xdotool search --onlyvisible --name "Recherche de mouvement" 2>/dev/null | head -n 1)
  [ -n "$panneau" ] && break
  sleep 0.1
done
[ -n "$panneau" ] || echec "pas de fenêtre « Recherche de mouvement »"
xdotool windowmove "$panneau" $((X + WIDTH - largeur_panneau + 10)) $((Y + 20))
sleep 0.3
capturer
trace=$(compter $rectangle "$px" "$py" "$pl" "$ph")
[ "$trace" -gt 100 ] || echec "rectangle non dessiné ($trace pixels)"
echo "rectangle dessiné : $trace pixels"

# --- The day's films searched: Alt+J checks the box, Alt+C starts --------
activer "$panneau" || echec "la fenêtre « Recherche de mouvement » ne prend pas la main"
xdotool key alt+j
sleep 0.2
xdotool key alt+c

# The hits: marks under the slider (the current film's) and on the strip at
# 12 h (at 10 h the cursor lies over them).
marques=0; jour12=0
for _ in $(seq 80); do
  sleep 0.25
  capturer || continue
  marques=$(compter $marque_curseur "$gauche" "$haut_curseur" "$curseur_l" "$curseur_h")
  jour12=$(compter $marque_jour $(($(x_heure 12) - 2)) "$haut_jour" 8 "$hauteur_jour")
  [ "$marques" -gt 0 ] && [ "$jour12" -gt 0 ] && break
done
[ "$marques" -gt 0 ] && [ "$jour12" -gt 0 ] ||
  echec "mouvements non marqués : curseur $marques, bandeau à 12 h $jour12 pixels"
echo "mouvements marqués : curseur $marques, bandeau à 12 h $jour12 pixels"

# --- N from the end of the 10 h film: the next hit, in the 12 h film ----------
# Up (a minute on) sends the film to its end, stopped, wherever it played to.
xdotool mousemove $((px + pl / 4)) $((py + ph / 2))
activer "$fenetre" || echec "la fenêtre principale ne prend pas la main"
xdotool key Up
fin=-1
for _ in $(seq 40); do
  fin=$(numero)
  [ "$fin" -ge 1070 ] 2>/dev/null && [ "$fin" -lt 1080 ] && break
  sleep 0.25
done
[ "$fin" -ge 1070 ] 2>/dev/null && [ "$fin" -lt 1080 ] || echec "Haut : image $fin, attendue la fin du film de 10 h"
xdotool key n
n=$(attendre_numero "$attendu_c")
[ "$n" = "$attendu_c" ] || echec "N : image $n, attendue $attendu_c (film de 12 h)"
echo "N : image $n, premier mouvement du film de 12 h"

# --- A click on the 10 h film's hit in the list: that film, that picture ------
# N selected the list's second row (the hits by time: 10 h, 12 h, 12 h);
# the first is right above it.
eval "$(xwininfo -id "$panneau" | awk '/Absolute upper-left X/ { print "PX=" $4 }
  /Absolute upper-left Y/ { print "PY=" $4 } /Width:/ { print "PL=" $2 } /Height:/ { print "PH=" $2 }')"
read -r sx sy sl sh < <("$outil" boite $surlignage 10 "$PX" "$PY" "$PL" "$PH" "$dossier/capture.png")
[ "$sl" -gt 0 ] && [ "$sh" -gt 0 ] || echec "pas de ligne choisie dans la liste des mouvements"
xdotool mousemove $((sx + sl * 3 / 4)) $((sy - sh / 2)) click 1
n=$(attendre_numero "$attendu_a")
[ "$n" = "$attendu_a" ] || echec "clic sur le mouvement de 10 h : image $n, attendue $attendu_a"
echo "clic sur le mouvement du film de 10 h : image $n"
cp "$dossier/capture.png" /tmp/jour_xvfb_fin.png

activer "$fenetre"
fermer_et_attendre "$fermer" 100 || echec "toujours en vie après la fermeture"
pid=""
[ "$statut" -eq 0 ] || echec "statut $statut"
echo "1 passed, 0 failed"
