#!/usr/bin/env bash
# Installs the Debian packages the player needs to build, run and be tested,
# only those that are missing, so that a second run installs nothing.
# `file` is what CPack's dependency scan uses to find the programs in the
# package; lintian checks the package in the installation test.
set -euo pipefail

PAQUETS=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libx11-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev
  libturbojpeg0-dev libsdl2-dev libgtest-dev libgmock-dev
  ffmpeg xvfb xauth xcompmgr dbus imagemagick x11-utils xdotool openbox libxtst-dev
  fonts-dejavu-core fonts-dejavu-extra fonts-liberation2
  libssl-dev dpkg-dev desktop-file-utils shared-mime-info
  file lintian
)

manquants=()
for p in "${PAQUETS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    manquants+=("$p")
  fi
done

[ ${#manquants[@]} -eq 0 ] && exit 0

commande="apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ${manquants[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Paquets manquants : ${manquants[*]}" >&2
  echo "Installez-les en root puis relancez :" >&2
  echo "  sudo sh -c '$commande'" >&2
  exit 1
fi
echo "Installation de : ${manquants[*]}"
sh -c "$commande"
