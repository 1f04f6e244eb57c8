#!/usr/bin/env bash
# Installs what VIRL needs on a Debian 12 machine and fetches JUCE 8.0.6 once.
# Safe to run again: it only installs what is missing and skips a JUCE tree already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache dpkg-dev
  libasound2-dev libx11-dev libxext-dev libxinerama-dev libxrandr-dev libxcursor-dev libxcomposite-dev
  libfreetype-dev libfontconfig1-dev libflac-dev libvorbis-dev libogg-dev libjpeg-dev libpng-dev zlib1g-dev
  lv2-dev liblilv-dev lilv-utils sordi libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core xvfb xauth xdotool imagemagick
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  echo "virl: installing ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cache="${VIRL_CACHE:-$HOME/.cache/virl}"
juce="$cache/juce-8.0.6"
if [ -f "$juce/CMakeLists.txt" ]; then
  exit 0
fi

# JUCE 8 is not in Debian 12; its source package lives in the next suite of the same mirror.
# The mirror comes from this machine's own apt configuration.
mirror=""
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
  mirror=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
fi
if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
  mirror=$(awk '$1 == "deb" { for (i = 2; i <= NF; ++i) if ($i !~ /^\[/ && $i !~ /\]$/) { print $i; exit } }' /etc/apt/sources.list)
fi
if [ -z "$mirror" ]; then
  echo "virl: no Debian mirror found in the apt configuration; pass -DJUCE_DIR=<JUCE 8 tree> to cmake instead" >&2
  exit 1
fi

apt_dir="$cache/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$cache/src"
echo "deb-src $mirror trixie main" > "$apt_dir/sources.list"
apt_opts=(-o "Dir::Etc::sourcelist=$apt_dir/sources.list" -o Dir::Etc::sourceparts=/nonexistent -o APT::Sandbox::User=root
          -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir")
apt-get "${apt_opts[@]}" -qq update
(cd "$cache/src" && apt-get "${apt_opts[@]}" -qq source --download-only juce=8.0.6+ds-2)
rm -rf "$juce.tmp"
dpkg-source --no-check -x "$cache/src/juce_8.0.6+ds-2.dsc" "$juce.tmp" >/dev/null
mv "$juce.tmp" "$juce"
echo "virl: JUCE 8.0.6 ready in $juce"
