#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, installs Vamplet.vst3 into ~/.vst3, then renders a
# generated beat through the installed bundle with a timeline that switches the loop on and
# off at several sizes, reverses and pitches it. Writes out/vamplet-demo.wav and a
# spectrogram, out/vamplet-demo.png, where the loops are seen replacing the beat.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
build=${BUILD_DIR:-build}
ninja -C "$build" install-vst3 >/dev/null
"$build"/host/vamplet-host info "$HOME/.vst3/Vamplet.vst3" | head -n 12

mkdir -p out
"$build"/host/vamplet-render --bundle "$HOME/.vst3/Vamplet.vst3" \
  --timeline demo/timeline.txt --tempo 120 --bars 12 --rate 44100 --block 256 \
  --output out/vamplet-demo.wav
sox -V1 out/vamplet-demo.wav -n remix - spectrogram -x 1600 -y 400 -z 90 \
  -t "Vamplet demo: loops in bars 3-6 and 9-10 (timeline: demo/timeline.txt)" \
  -o out/vamplet-demo.png
echo "wrote out/vamplet-demo.wav and out/vamplet-demo.png"
