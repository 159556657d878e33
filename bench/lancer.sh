#!/bin/sh
# Builds the reader and sound benchmarks in build-lecteur and runs them one after the
# other, printing their figures. Usage: bench/lancer.sh [BUILD_FOLDER]
set -e
racine=$(cd "$(dirname "$0")/.." && pwd)
construction=${1:-$racine/build-lecteur}
cmake -S "$racine" -B "$construction" -G Ninja -DZR7_SEULEMENT="core;codecs;engine;sound;tools;bench" >/dev/null
ninja -C "$construction" -j2 bench_decodage bench_cadence bench_memoire bench_son
statut=0
for mesure in bench_decodage bench_cadence bench_memoire bench_son; do
  echo "== $mesure"
  "$construction/$mesure" || statut=1
done
exit $statut
