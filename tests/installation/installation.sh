#!/usr/bin/env bash
# make install below a DESTDIR and the Debian package: layout, desktop
# entry, icons, MIME types, package contents and dependencies, the
# copyright and changelog Debian asks for, and lintian's verdict.
# Usage: installation.sh BUILD_DIR
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
echec() { echo "ÉCHEC : $*" >&2; exit 1; }

# Installation with the default prefix, below DESTDIR.
DESTDIR="$tmp/racine" cmake --install "$build" --prefix /usr/local >/dev/null
r="$tmp/racine/usr/local"
for f in lib/lecteurzr7/lecteurzr7 bin/zr7film; do
  [ -x "$r/$f" ] || echec "$f absent ou non exécutable"
done
for f in lib/lecteurzr7/logo1.jpg lib/lecteurzr7/logo2.jpg lib/lecteurzr7/lecteurzr7.installe \
         share/applications/lecteurzr7.desktop share/mime/packages/lecteurzr7.xml \
         share/doc/lecteurzr7/copyright share/doc/lecteurzr7/changelog.Debian.gz; do
  [ -f "$r/$f" ] || echec "$f absent"
done
[ "$(readlink "$r/bin/lecteurzr7")" = ../lib/lecteurzr7/lecteurzr7 ] || echec "lien bin/lecteurzr7"
[ -x "$r/bin/lecteurzr7" ] || echec "le lien bin/lecteurzr7 ne mène pas au programme"
for t in 48 128 256; do
  png="$r/share/icons/hicolor/${t}x${t}/apps/lecteurzr7.png"
  [ "$(identify -format '%w %h' "$png")" = "$t $t" ] || echec "icône $t"
  # Drawn, not empty: the film strip covers a good part of the square.
  opaque=$(convert "$png" -alpha extract -threshold 50% -format '%[fx:mean]' info:)
  awk -v o="$opaque" 'BEGIN { exit !(o > 0.4 && o < 0.95) }' || echec "icône $t vide ($opaque)"
done
desktop-file-validate "$r/share/applications/lecteurzr7.desktop" || echec "entrée de bureau refusée"
grep -q '^Exec=lecteurzr7 %f$' "$r/share/applications/lecteurzr7.desktop" || echec "Exec"
grep -q '^Icon=lecteurzr7$' "$r/share/applications/lecteurzr7.desktop" || echec "Icon"

# The MIME types: .mjp and .264 are ours, .mp4 stays the usual MP4 type.
cp -r "$r/share/mime" "$tmp/mime"
update-mime-database "$tmp/mime" >/dev/null 2>&1 || echec "types MIME refusés"
grep -q '^video/x-velmorazr7-mjpeg:\*\.mjp$' "$tmp/mime/globs" || echec "type .mjp"
grep -q '^video/x-velmorazr7-h264:\*\.264$' "$tmp/mime/globs" || echec "type .264"
! grep -q 'velmorazr7.*mp4' "$tmp/mime/globs" || echec ".mp4 pris"
for t in $(sed -n 's/^MimeType=//p' "$r/share/applications/lecteurzr7.desktop" | tr ';' ' '); do
  grep -q "^$t:" "$tmp/mime/globs" || echec "type $t de l'entrée de bureau inconnu"
done

# The Debian package.
(cd "$build" && cpack -G DEB -B "$tmp/paquet" >/dev/null) || echec "cpack"
deb=$(ls "$tmp"/paquet/lecteurzr7_*.deb)
contenu=$(dpkg-deb -c "$deb")
for f in ./usr/lib/lecteurzr7/lecteurzr7 ./usr/bin/zr7film ./usr/bin/lecteurzr7 \
         ./usr/share/applications/lecteurzr7.desktop ./usr/share/mime/packages/lecteurzr7.xml \
         ./usr/share/icons/hicolor/48x48/apps/lecteurzr7.png ./usr/share/icons/hicolor/128x128/apps/lecteurzr7.png \
         ./usr/share/icons/hicolor/256x256/apps/lecteurzr7.png \
         ./usr/share/doc/lecteurzr7/copyright ./usr/share/doc/lecteurzr7/changelog.Debian.gz; do
  grep -q " $f\( \|$\)" <<<"$contenu" || echec "$f absent du paquet"
done
dependances=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libavcodec libturbojpeg0 libc6; do
  grep -q "$lib" <<<"$dependances" || echec "dépendance $lib absente : $dependances"
done
# The packaged program runs from its folder in the package's tree.
dpkg-deb -x "$deb" "$tmp/deb"
ldd "$tmp/deb/usr/lib/lecteurzr7/lecteurzr7" | grep -q 'not found' && echec "bibliothèque introuvable"

# The changelog's first entry is the package's version, so a new version
# cannot ship without its entry.
doc="$tmp/deb/usr/share/doc/lecteurzr7"
version=$(dpkg-deb -f "$deb" Version)
entree=$(gzip -dc "$doc/changelog.Debian.gz" | sed -n 1p)
[[ "$entree" == "lecteurzr7 ($version) "* ]] || echec "journal : « $entree » pour la version $version"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' "$doc/copyright" \
  || echec "copyright sans format lisible par machine"

# lintian: an error (or lintian failing to run) fails, warnings are shown.
command -v lintian >/dev/null || echec "lintian absent (scripts/paquets.sh l'installe)"
if ! verdict=$(lintian --fail-on error --tag-display-limit 0 "$deb" 2>"$tmp/lintian.err"); then
  printf '%s\n' "$verdict" >&2
  cat "$tmp/lintian.err" >&2
  echec "lintian refuse le paquet"
fi
[ -z "$verdict" ] || printf '%s\n' "$verdict"
echo "installation et paquet : OK"
