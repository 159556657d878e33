#!/bin/sh
# Builds the codec library's libFuzzer target with clang and runs it briefly.
# Not part of CI. Usage: bench/fuzz.sh [seconds, default 60]
# Needs clang and libclang-rt-dev (libFuzzer), libav*-dev, and optionally the
# ffmpeg command to make a seed corpus.
set -eu
DUREE="${1:-60}"
RACINE="$(cd "$(dirname "$0")/.." && pwd)"
SORTIE="${FUZZ_DIR:-$RACINE/build-fuzz}"
mkdir -p "$SORTIE/corpus"

if ! command -v clang++ >/dev/null 2>&1; then
  echo "clang++ absent: fuzzer not built" >&2
  exit 0
fi

clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$RACINE/src" \
  "$RACINE/bench/fuzz_codecs.cpp" "$RACINE"/src/codecs/bitmap.cpp \
  "$RACINE"/src/codecs/decoupage.cpp "$RACINE"/src/codecs/korcodecs.cpp \
  $(pkg-config --cflags --libs libavcodec libavutil libswscale) -lpthread \
  -o "$SORTIE/fuzz_codecs"

# Seeds: short real streams, prefixed by the byte that picks the call
# (bit 1: H.264, bit 2: small room).
if command -v ffmpeg >/dev/null 2>&1 && [ ! -s "$SORTIE/corpus/mpeg4" ]; then
  T="$SORTIE/tmp"; mkdir -p "$T"
  ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10 -t 1 -c:v mpeg4 -g 4 -bf 0 -f m4v "$T/a.m4v"
  ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10 -t 1 -c:v libx264 -g 4 -bf 0 \
    -x264-params slices=2 -f h264 "$T/a.264"
  { printf '\000'; cat "$T/a.m4v"; } > "$SORTIE/corpus/mpeg4"
  { printf '\002'; cat "$T/a.264"; } > "$SORTIE/corpus/h264"
  { printf '\006'; cat "$T/a.264"; } > "$SORTIE/corpus/h264-petite"
fi

cd "$SORTIE"
./fuzz_codecs -max_total_time="$DUREE" -max_len=65536 -timeout=10 -rss_limit_mb=4096 corpus
