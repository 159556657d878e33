#!/bin/sh
# Builds the reader, export, copy, sound, navigation, measure, display and
# time-keeping benchmarks in build-lecteur (the whole
# tree is configured: the export tests need the player) and runs
# them one after the other, printing their figures. The decode benchmark's
# films (made by ffmpeg on the first run) are kept in
# BUILD_FOLDER/films_bench, those of the time-keeping benchmark in
# BUILD_FOLDER/films_temps, so that later runs only measure. The benchmarks
# with a window run offscreen unless QT_QPA_PLATFORM says otherwise.
# Usage: bench/lancer.sh [BUILD_FOLDER [PASSES]]
set -e
racine=$(cd "$(dirname "$0")/.." && pwd)
construction=${1:-$racine/build-lecteur}
passes=${2:-5}
cmake -S "$racine" -B "$construction" -G Ninja -DZR7_SEULEMENT="" >/dev/null
ninja -C "$construction" -j2 bench_decodage bench_cadence bench_memoire bench_export bench_son bench_navigation bench_mesures bench_mouvement bench_chronologie bench_mosaique bench_copie bench_affichage bench_temps
statut=0
echo "== bench_decodage"
"$construction/bench_decodage" "$construction/films_bench" "$passes" || statut=1
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
for mesure in bench_cadence bench_memoire bench_export bench_copie bench_son bench_navigation bench_mesures bench_mouvement bench_chronologie bench_mosaique bench_affichage; do
  echo "== $mesure"
  "$construction/$mesure" || statut=1
done
echo "== bench_temps"
"$construction/bench_temps" "$construction/films_temps" || statut=1
exit $statut
