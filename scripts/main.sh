#!/usr/bin/env bash
# Sets up, builds, installs the LV2 bundle into ~/.lv2 and renders a groove through it to out/virl-groove.wav.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh Virl_LV2 Virl_VST3 Virl_Standalone virl-render
build="${VIRL_BUILD_DIR:-build}"

mkdir -p "$HOME/.lv2"
rm -rf "$HOME/.lv2/VIRL.lv2"
cp -r "$build/Virl_artefacts/Release/LV2/VIRL.lv2" "$HOME/.lv2/"
echo "virl: installed $HOME/.lv2/VIRL.lv2"

mkdir -p out
LV2_PATH="$HOME/.lv2" "$build/virl-render" --seconds "${VIRL_SECONDS:-60}" --tempo 124 --out out/virl-groove.wav
echo "virl: rendered out/virl-groove.wav"
