#!/usr/bin/env bash
# Installs the Debian packages that building and testing Spinlorex needs, when any is
# missing. Usage: scripts/install-deps.sh [extra package...]
set -euo pipefail

packages=(
  g++ cmake ninja-build ccache pkg-config
  libmpg123-dev libmp3lame-dev libsoxr-dev libsndfile1-dev libsqlite3-dev libpng-dev
  libtag1-dev libqm-dsp-dev librubberband-dev librtmidi-dev jackd2
  libgtest-dev libbenchmark-dev
  qt6-base-dev fonts-dejavu-core
  portaudio19-dev libasound2-dev pulseaudio pulseaudio-utils libasound2-plugins
  dbus-daemon desktop-file-utils appstream
  clang-format
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then sudo="sudo"; else
    echo "Please install as root: apt-get install -y ${missing[*]}" >&2; exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}"
