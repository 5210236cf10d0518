#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the game and the tests need. Quick when all are present.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config git
      libsdl2-dev libx11-dev libfreetype-dev libpng-dev libjpeg-dev zlib1g-dev
      libfluidsynth-dev libmpg123-dev libogg-dev libvorbis-dev libtheora-dev
      libgl-dev libgl1-mesa-dri libegl1
      libgtest-dev libgmock-dev libbenchmark-dev libpixman-1-dev
      fonts-ipafont-gothic timgm6mb-soundfont espeak-ng
      sox libsox-fmt-base lame mpg123 midicsv vorbis-tools
      python3 busybox nginx-light curl
      xvfb evilwm libxdamage1
      afl++)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The tests start nginx themselves on 127.0.0.1; the package's own site (all addresses, port 80) must
# not be left running where the package's install was allowed to start it.
if [ -f /run/nginx.pid ] && command -v invoke-rc.d >/dev/null 2>&1; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo invoke-rc.d nginx stop >/dev/null 2>&1 || true
fi
