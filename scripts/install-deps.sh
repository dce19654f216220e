#!/usr/bin/env bash
# Installs every Debian 12 package that building, testing and running Zembrix need.
# Run as root (or through sudo). Safe to run again: apt skips what is installed.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config ccache
  qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins qt6-qpa-plugins
  libgl-dev
  libqpdf-dev qpdf
  libjbig2dec0-dev
  libtiff-dev
  libjpeg62-turbo-dev libturbojpeg0-dev
  libopenjp2-7-dev
  liblcms2-dev liblcms2-utils libgs-common
  libheif-dev
  zlib1g-dev libpng-dev
  libgtest-dev libgmock-dev
  poppler-utils parallel
  xvfb imagemagick xdotool xclip bc librsvg2-bin
)

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${PACKAGES[@]}"
