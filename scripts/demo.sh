#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, installs Vamplet.vst3 into ~/.vst3, then renders a
# generated beat through the installed bundle with a timeline that switches the loop on and
# off at several sizes, reverses and pitches it. Writes out/vamplet-demo.wav and a
# spectrogram of its lowest kilohertz, out/vamplet-demo.png, where the loops are seen as
# repeating bass notes.
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
# The lowest kilohertz shows the bass notes, which change every eighth: a loop is seen as the
# same notes repeating (bars 3-6 and 9-10, 4-12 s and 16-20 s).
sox -V1 out/vamplet-demo.wav -n remix - rate 2000 spectrogram -x 1600 -y 360 -z 70 \
  -t "Vamplet demo, 120 BPM: loops of 1 bar, 1/2, 1/4 gated (bars 3-6), 1/8 reversed, 1/16 delayed and pitched (bars 9-10)" \
  -o out/vamplet-demo.png
echo "wrote out/vamplet-demo.wav and out/vamplet-demo.png"
