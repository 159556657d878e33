#!/usr/bin/env bash
# Time keeping as the screen shows it. The player runs under its own Xvfb
# with openbox on films made by ffmpeg (H.264 720p and 1080p, 25 pictures a
# second, 2,000 pictures, a key picture every 50, no B pictures) whose
# pictures carry their number as a row of blocks (the layout of
# tools/numero_image.h). ffmpeg records a 2-pixel strip across that row at
# 100 pictures a second with wall-clock stamps while keys are sent; the
# numbers are read back and give, per film:
#   - film seconds per wall second at x 1, x 4, x 16 and backwards x 1
#     (slope of the film time on screen over a 3.5 s stretch), pictures shown
#     per second and the longest still;
#   - the latency of "." (one picture on, from a target in the middle of a
#     key group), of "," after the first one (the first decodes the key
#     group) and of a seek (Up / Down, +60 / -60 s, between targets in the
#     middle of key groups): from the key press reaching the X server to the
#     picture it settles on being on screen; median and p90. The player has
#     decoded those targets ahead by then; a cold seek (Right, +5 s, which
#     it does not decode ahead) is timed apart;
#   - "." held for 2 s, the server's key repeat set to 30 a second: pictures
#     advanced per second on screen while it repeats.
# The keys timed are sent by touche_x (bench/touche_x.c), which stamps each
# press once the X server has processed it (XTEST, then XSync): neither the
# start of a process per key nor xdotool's delays count. The strip is read
# every 10 ms; a change is placed midway between the last reading before
# it and the first one showing it.
# A benchmark, not a test: it prints figures and asserts nothing.
# Usage: bench/ecran_temps.sh [BUILD_FOLDER]   (default: build)
# The films are kept in BUILD_FOLDER/films_ecran so that later runs only
# measure. ECRAN=WxH sets the screen (default 1920x1080).
set -u
racine=$(cd "$(dirname "$0")/.." && pwd)
construction=$(cd "${1:-$racine/build}" && pwd)
lecteur=$construction/lecteurzr7
lire=$construction/numero_capture
frapper=$construction/touche_x
ecran=${ECRAN:-1920x1080}
cadence=25
nb_images=2000
groupe=50
for outil in Xvfb openbox ffmpeg ffprobe xdotool xwininfo import perl awk od; do
  command -v "$outil" >/dev/null || { echo "ecran_temps : $outil manque"; exit 1; }
done
[ -x "$lecteur" ] && [ -x "$lire" ] && [ -x "$frapper" ] || { echo "ecran_temps : construire d'abord ($lecteur, $lire, $frapper ; touche_x veut libxtst-dev)"; exit 1; }

films=$construction/films_ecran
mkdir -p "$films"
travail=$(mktemp -d)
xvfb=""; wm=""; pid=""; enregistreur=""
nettoyer() {
  for p in $enregistreur $pid $wm $xvfb; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  # ECRAN_GARDER=FOLDER keeps the recordings, events and readings there.
  [ -n "${ECRAN_GARDER:-}" ] && mkdir -p "$ECRAN_GARDER" && cp -r "$travail"/. "$ECRAN_GARDER"/
  rm -rf "$travail"
}
trap nettoyer EXIT

# ---------------------------------------------------------------- the films
# The code row: [white][black] b15..b0 [parity] [black][white], 21 blocks
# from 4 % to 96 % of the width and 80 % to 94 % of the height, white = 1.
# Drawn on a 42 x 2 picture (the colour source wants even sizes): block
# floor(X / 2), then stretched over the row.
expression_code() {
  local bits="" i b="floor(X/2)"
  for i in $(seq 0 15); do bits="$bits+mod(floor(N/pow(2,$i)),2)"; done
  echo "255*if(eq($b,0)+eq($b,20),1,if(eq($b,1)+eq($b,19),0,if(lte($b,17),mod(floor(N/pow(2,17-$b)),2),mod(${bits#+},2))))"
}

fabriquer() { # $1 file, $2 width, $3 height
  local film=$1 l=$2 h=$3
  [ -s "$film" ] && return 0
  local cx=$(( (l * 4 + 50) / 100 )) cy=$(( h * 80 / 100 ))
  local cl=$(( (l * 92 + 50) / 100 )) ch=$(( h * 14 / 100 ))
  ffmpeg -hide_banner -nostdin -loglevel error -y \
    -f lavfi -i "testsrc2=size=${l}x${h}:rate=$cadence" \
    -f lavfi -i "color=c=black:size=42x2:rate=$cadence" \
    -filter_complex "[1:v]format=gray,geq=lum='$(expression_code)',scale=${cl}x${ch}:flags=neighbor,format=yuv420p[c];[0:v][c]overlay=$cx:$cy:shortest=1" \
    -frames:v $nb_images -g $groupe -bf 0 -c:v libx264 -pix_fmt yuv420p -f h264 "$travail/corps.264" || return 1
  # The player's header: picture count and duration in ms, little-endian.
  perl -e 'print pack("VV", $ARGV[0], $ARGV[0] * 1000 / $ARGV[1])' $nb_images $cadence > "$film.tmp"
  cat "$travail/corps.264" >> "$film.tmp" && mv "$film.tmp" "$film"
}

# ------------------------------------------------------------ the display
demarrer_ecran() {
  exec 5> "$travail/affichage"
  Xvfb -displayfd 5 -screen 0 "${ecran}x24" -nolisten tcp > "$travail/xvfb.txt" 2>&1 &
  xvfb=$!
  exec 5>&-
  for _ in $(seq 100); do [ -s "$travail/affichage" ] && break; sleep 0.05; done
  export DISPLAY=:$(head -n 1 "$travail/affichage")
  openbox > "$travail/openbox.txt" 2>&1 &
  wm=$!
  sleep 1
}

maintenant() { date +%s.%N; }
note() { echo "$1 $(maintenant)" >> "$travail/evenements"; }
touche() { xdotool key --delay 60 "$@"; }
# A timed key: "$1 stamp" noted per press, the stamp of the press reaching
# the X server.
frappe() {
  local nom=$1; shift
  "$frapper" "$@" | while read -r t; do echo "$nom $t" >> "$travail/evenements"; done
}

# Ctrl+G to second $1 (film time "hh:mm:ss"), waiting for it to settle.
aller_a() {
  touche ctrl+g
  sleep 0.6
  touche ctrl+a
  xdotool type --delay 20 "$(printf '00:%02d:%02d' $(($1 / 60)) $(($1 % 60)))"
  touche Return
  sleep 1
}

# One player session on film $1, its events noted in $travail/evenements and
# the strip recorded in $travail/bande.mkv.
session() {
  local film=$1
  : > "$travail/evenements"
  XDG_CONFIG_HOME="$travail/config" XDG_RUNTIME_DIR="$travail/xdg" SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb \
    "$lecteur" "$film" > "$travail/lecteur.txt" 2>&1 &
  pid=$!
  local fenetre=""
  for _ in $(seq 100); do
    fenetre=$(xdotool search --onlyvisible --name "VelmoraZR7 : Lecteur autonome" 2>/dev/null | head -n 1)
    [ -n "$fenetre" ] && break
    sleep 0.1
  done
  [ -n "$fenetre" ] || { echo "pas de fenêtre"; return 1; }
  xdotool windowactivate --sync "$fenetre" 2>/dev/null
  # The film given at launch plays after the splash: wait until it moves.
  local n=-1
  for _ in $(seq 80); do
    import -window "$fenetre" "$travail/capture.png" 2>/dev/null && n=$("$lire" "$travail/capture.png")
    [ "$n" -ge 5 ] 2>/dev/null && break
    sleep 0.25
  done
  [ "$n" -ge 5 ] 2>/dev/null || { echo "aucun numéro lisible à l'écran"; return 1; }
  # The code row on the screen: the picture box in the window (once the
  # layout has taken the film's size: the same box twice), the window on
  # the screen.
  local bx by bl bh wx wy boite="" avant=""
  for _ in $(seq 10); do
    sleep 0.6
    import -window "$fenetre" "$travail/capture.png" 2>/dev/null && boite=$("$lire" -b "$travail/capture.png")
    [ -n "$boite" ] && [ "$boite" = "$avant" ] && break
    avant=$boite
  done
  read -r bx by bl bh <<< "$boite"
  wx=$(xwininfo -id "$fenetre" | awk '/Absolute upper-left X/ {print $NF}')
  wy=$(xwininfo -id "$fenetre" | awk '/Absolute upper-left Y/ {print $NF}')
  local x=$((wx + bx + (bl * 4 + 50) / 100)) y=$((wy + by + bh * 87 / 100))
  local l=$(((bl * 92 / 100) / 2 * 2))
  ffmpeg -hide_banner -nostdin -loglevel error -y -use_wallclock_as_timestamps 1 -f x11grab -draw_mouse 0 \
    -framerate 100 -video_size "${l}x2" -i "$DISPLAY+$x,$y" -copyts -c:v ffv1 "$travail/bande.mkv" &
  enregistreur=$!
  sleep 1

  # x 1: as started by the launch.
  sleep 0.5; note x1_debut; sleep 3.5; note x1_fin
  # x 4.
  touche l l; sleep 0.5; note x4_debut; sleep 3.5; note x4_fin
  # x 16 from the start.
  touche Home; sleep 0.5; touche l l l l l; sleep 0.5; note x16_debut; sleep 3.5; note x16_fin
  # Backwards x 1 from 70 s.
  touche k; aller_a 70; touche j; sleep 0.5; note arriere_debut; sleep 3.5; note arriere_fin
  touche k; sleep 0.3
  # "." from the middle of key groups (second s odd: picture 25 s is the
  # 25th of its group), three steps each; then Up / Down between s and s + 60.
  # "," four times from there: the first decodes the key group, the
  # others are measured.
  local s i
  for s in 1 3 5 7 9 11 13 15; do
    aller_a $s
    for i in 1 2 3; do frappe point period; sleep 0.6; done
    frappe virgule1 comma; sleep 0.8
    for i in 1 2 3; do frappe virgule comma; sleep 0.6; done
  done
  for s in 1 5 9 13 17; do
    aller_a $s
    frappe saut Up; sleep 0.8
    frappe saut Down; sleep 0.8
  done
  # Cold seeks: Right (+5 s, to the middle of a key group), a target the
  # player does not decode ahead.
  for s in 2 6 10 14 18; do
    aller_a $s
    frappe sautfroid Right; sleep 0.8
  done
  # "." held for 2 s with the key repeat at 30 a second after 250 ms, from
  # the middle of a key group.
  aller_a 21
  frappe tenu -t 30 2 period; sleep 1
  sleep 0.3
  kill -INT $enregistreur; wait $enregistreur 2>/dev/null; enregistreur=""
  echo "$bx $by $bl $bh $wx $wy $x $y $l" > "$travail/bande.txt"
  kill $pid; wait $pid 2>/dev/null; pid=""
}

# "time number" per recorded picture (-1: not readable).
lire_bande() {
  ffprobe -v error -select_streams v -show_entries frame=pts_time -of csv=p=0 "$travail/bande.mkv" > "$travail/temps"
  ffmpeg -hide_banner -nostdin -loglevel fatal -i "$travail/bande.mkv" -fps_mode passthrough \
    -vf "scale=21:1:flags=area,format=gray" -f rawvideo - | od -An -v -tu1 -w21 |
    awk '{
      ok = 1; for (i = 1; i <= 21; ++i) b[i] = ($i >= 128)
      if (!b[1] || b[2] || b[20] || !b[21]) ok = 0
      n = 0; p = 0
      for (i = 3; i <= 18; ++i) { n = n * 2 + b[i]; p += b[i] }
      if ((p % 2) != b[19]) ok = 0
      print (ok ? n : -1)
    }' > "$travail/numeros"
  paste -d' ' "$travail/temps" "$travail/numeros"
}

# Figures of one session from "time number" lines and the events.
analyser() {
  awk -v cadence=$cadence -v groupe=$groupe -v nom="$1" '
    FNR == NR { ev[++ne] = $1; tev[ne] = $2; next }
    $2 >= 0 { ++nb; t[nb] = $1; n[nb] = $2 }
    function fenetre(a, b, titre,   i, k, x, y, sx, sy, sxx, sxy, pente, chg, der, tch, still) {
      k = 0; sx = sy = sxx = sxy = 0; chg = 0; still = 0; der = -1
      for (i = 1; i <= nb; ++i) {
        if (t[i] < a || t[i] > b) continue
        # Times from the stretch start: wall-clock seconds squared lose
        # the milliseconds in a double.
        x = t[i] - a; y = n[i] / cadence
        ++k; sx += x; sy += y; sxx += x * x; sxy += x * y
        if (der != n[i]) {
          if (der >= 0) { ++chg; if (t[i] - tch > still) still = t[i] - tch }
          der = n[i]; tch = t[i]
        }
      }
      if (k < 10) { printf "%-16s %s\n", titre, "pas assez de lectures"; return }
      pente = (k * sxy - sx * sy) / (k * sxx - sx * sx)
      printf "%-16s %7.2f s/s  %6.1f images/s  immobile max %4.0f ms\n", titre, pente, chg / (b - a), still * 1000
    }
    # The picture a key settles on is the one shown just before the next
    # action, `duree` seconds after the key; it came on screen midway
    # between the last reading before it and the first one showing it.
    # A key after which the picture did not change is counted apart.
    function latences(quoi, titre, duree,   e, i, fin, cible, avant, v, c, j, tmp, mil, p90, pos, rien, avt) {
      c = 0; pos = ""; rien = 0
      for (e = 1; e <= ne; ++e) {
        if (ev[e] != quoi) continue
        fin = tev[e] + duree
        cible = -1; avant = -1
        for (i = nb; i >= 1; --i) if (t[i] <= fin && t[i] >= tev[e]) { cible = n[i]; break }
        for (i = nb; i >= 1; --i) if (t[i] < tev[e]) { avant = n[i]; break }
        if (cible < 0) continue
        if (cible == avant) { ++rien; continue }
        for (i = 1; i <= nb; ++i) if (t[i] >= tev[e] && n[i] == cible) {
          avt = (i > 1 && t[i - 1] > tev[e]) ? t[i - 1] : tev[e]
          v[++c] = ((t[i] + avt) / 2 - tev[e]) * 1000; break
        }
        pos = pos " " (cible % groupe)
      }
      if (c == 0) { printf "%-16s aucune mesure\n", titre; return }
      for (i = 2; i <= c; ++i) { tmp = v[i]; for (j = i - 1; j >= 1 && v[j] > tmp; --j) v[j + 1] = v[j]; v[j + 1] = tmp }
      mil = v[int((c + 1) / 2)]; p90 = v[int(c * 0.9 + 0.999)]
      printf "%-16s médiane %4.0f ms  p90 %4.0f ms  (%d mesures, min %.0f, max %.0f ; %d sans changement)\n", \
        titre, mil, p90, c, v[1], v[c], rien
      printf "%-16s places dans le groupe :%s\n", "", pos
    }
    # Number on screen at time x (the last reading at or before it).
    function numero(x,   i) { for (i = nb; i >= 1; --i) if (t[i] <= x) return n[i]; return -1 }
    # A held key: pressed at its first stamp, released at its second; the
    # server repeats it from `delai` seconds after the press at `frequence`
    # a second. Over that repeat stretch: the pictures advanced on screen
    # per second, the slope of the picture number, the longest still; and
    # the pictures still to come after the release (steps left waiting).
    function tenue(quoi, titre, delai, frequence,   e, a, b, k, k2, x, y, sx, sy, sxx, sxy, i, pente, n0, n1, n2, still, der, tch) {
      k = 0; a = -1; b = -1
      for (e = 1; e <= ne; ++e) if (ev[e] == quoi) { ++k; if (a < 0) a = tev[e]; else b = tev[e] }
      if (k != 2) { printf "%-16s aucune mesure\n", titre; return }
      a += delai
      n0 = numero(a); n1 = numero(b); n2 = numero(b + 0.9)
      k2 = 0; sx = sy = sxx = sxy = 0; still = 0; der = -1
      for (i = 1; i <= nb; ++i) {
        if (t[i] < a || t[i] > b) continue
        x = t[i] - a; y = n[i]
        ++k2; sx += x; sy += y; sxx += x * x; sxy += x * y
        if (der != n[i]) { if (der >= 0 && t[i] - tch > still) still = t[i] - tch; der = n[i]; tch = t[i] }
      }
      pente = k2 > 2 ? (k2 * sxy - sx * sy) / (k2 * sxx - sx * sx) : 0
      printf "%-16s répétition à %d/s pendant %.2f s : %5.1f images/s affichées (pente %5.1f), immobile max %4.0f ms, %d de plus après le relâchement\n", \
        titre, frequence, b - a, (n1 - n0) / (b - a), pente, still * 1000, n2 - n1
    }
    END {
      for (e = 1; e <= ne; ++e) tt[ev[e]] = tev[e]
      print "== " nom
      fenetre(tt["x1_debut"], tt["x1_fin"], "x 1")
      fenetre(tt["x4_debut"], tt["x4_fin"], "x 4")
      fenetre(tt["x16_debut"], tt["x16_fin"], "x 16")
      fenetre(tt["arriere_debut"], tt["arriere_fin"], "arrière x 1")
      latences("point", "« . »", 0.55)
      latences("virgule", "« , » suivants", 0.55)
      latences("saut", "saut ±60 s", 0.75)
      latences("sautfroid", "saut à froid", 0.75)
      tenue("tenu", "« . » tenu", 0.25, 30)
    }' "$travail/evenements" "$travail/lectures"
}

echo "Fabrication des films (une fois) dans $films"
fabriquer "$films/h264_720.264" 1280 720 || { echo "film 720p impossible"; exit 1; }
fabriquer "$films/h264_1080.264" 1920 1080 || { echo "film 1080p impossible"; exit 1; }
demarrer_ecran
mkdir -m 700 -p "$travail/xdg"
echo "Écran $ecran, $(nproc) cœurs, charge : $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Pente : secondes de film par seconde d'horloge (négative en arrière)."
for f in h264_720 h264_1080; do
  echo "-- charge avant la session : $(cut -d' ' -f1-3 /proc/loadavg)"
  if session "$films/$f.264"; then
    lire_bande > "$travail/lectures"
    analyser "H.264 ${f#h264_}p ($(awk '$2 >= 0' "$travail/lectures" | wc -l) / $(wc -l < "$travail/lectures") lectures)"
    if [ -n "${ECRAN_GARDER:-}" ]; then
      mkdir -p "$ECRAN_GARDER"
      for x in evenements lectures lecteur.txt; do cp "$travail/$x" "$ECRAN_GARDER/$f.$x"; done
    fi
  else
    echo "== $f : session impossible"; cat "$travail/lecteur.txt"
  fi
done
