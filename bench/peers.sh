#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the same generated beat, at the same rate and block size, through Vamplet's loop
# effects and through third-party peers of the same kind of processing, and prints the
# realtime factors (seconds of audio per second of processing, as vamplet-render measures
# them around the plug-in's process calls) side by side.
#
#   bench/peers.sh [BUILD_DIR] [BARS] [REPEATS]
#
# BUILD_DIR holds host/vamplet-render and Vamplet.vst3 (default: build). Each render is
# repeated REPEATS times (default 5) and the best run is kept, which removes most of the noise
# of a shared machine. Peers: ZamDelay, ZamVerb and ZamGrains from /usr/lib/vst3 (Debian's
# zam-plugins), each with its default settings.
set -eu

BUILD=${1:-build}
BARS=${2:-32}
REPEATS=${3:-5}
RATE=48000
BLOCK=128
TEMPO=120
PEERS=/usr/lib/vst3

RENDER=$BUILD/host/vamplet-render
VAMPLET=$BUILD/Vamplet.vst3
for f in "$RENDER" "$VAMPLET" "$PEERS/ZamDelay.vst3" "$PEERS/ZamVerb.vst3" "$PEERS/ZamGrains.vst3"; do
    if [ ! -e "$f" ]; then
        echo "peers.sh: missing $f (build with: ninja -C $BUILD Vamplet vamplet-render; peers: apt-get install zam-plugins)" >&2
        exit 1
    fi
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# Vamplet keeps a settings folder and a MIDI-assign table under HOME: use a scratch one.
mkdir -p "$WORK/home"
export HOME="$WORK/home"

# Timelines: the effect chosen and set before the loop, the loop switched on at beat 3 of bar 1
# (it plays from beat 4 on), one bar long, full wet.
effect_timeline() { # $1: effect value (k / 7 selects effect k), empty for no effect
    {
        echo "1.1 param 1 0"
        if [ -n "$1" ]; then
            echo "1.1 param 4 1"
            echo "1.1 param 5 $1"
            echo "1.1 param 6 0.5"
            echo "1.1 param 7 1"
        fi
        echo "1.3 param 0 1"
    }
}
effect_timeline 1.0 > "$WORK/delay.txt"   # effect 7, "Delay"
effect_timeline 0.88 > "$WORK/reverb.txt" # effect 6, "Reverb"
effect_timeline "" > "$WORK/loop.txt"     # the plain loop

# best_rtf BUNDLE [TIMELINE]: the highest realtime factor of REPEATS renders, and the channels.
# A peer's own diagnostics go to a file; they are shown only when a render fails.
best_rtf() {
    bundle=$1
    timeline=${2:-}
    best=0
    channels=0
    i=0
    while [ "$i" -lt "$REPEATS" ]; do
        if [ -n "$timeline" ]; then
            set -- -t "$timeline"
        else
            set --
        fi
        if ! out=$("$RENDER" -b "$bundle" "$@" -o "$WORK/out.wav" --rate $RATE --block $BLOCK \
                --tempo $TEMPO --bars "$BARS" 2>"$WORK/err.txt"); then
            cat "$WORK/err.txt" >&2
            exit 1
        fi
        rtf=$(printf '%s\n' "$out" | sed -n 's/^realtime factor \([0-9.]*\)x.*/\1/p')
        channels=$(printf '%s\n' "$out" | sed -n 's/^rendered .* frames, \([0-9]*\) channel.*/\1/p')
        best=$(awk -v a="$best" -v b="$rtf" 'BEGIN { print (b > a ? b : a) }')
        i=$((i + 1))
    done
    echo "$best $channels"
}

printf 'Input: the generated beat, %s bars at %s BPM; %s Hz, block %s; best of %s renders.\n\n' \
    "$BARS" "$TEMPO" "$RATE" "$BLOCK" "$REPEATS"
printf '%-22s %12s %4s   %-10s %12s %4s   %8s %14s\n' \
    "Vamplet" "realtime" "ch" "peer" "realtime" "ch" "ratio" "ratio/channel"

row() { # $1 label, $2 timeline, $3 peer name
    set -- "$1" "$2" "$3" $(best_rtf "$VAMPLET" "$2") $(best_rtf "$PEERS/$3.vst3")
    # $4 $5: Vamplet factor and channels; $6 $7: the peer's.
    awk -v label="$1" -v peer="$3" -v v="$4" -v vc="$5" -v p="$6" -v pc="$7" 'BEGIN {
        ratio = (p > 0) ? v / p : 0
        perch = (p > 0 && pc > 0) ? (v * vc) / (p * pc) : 0
        printf "%-22s %11.1fx %4d   %-10s %11.1fx %4d   %7.2fx %13.2fx\n", label, v, vc, peer, p, pc, ratio, perch
    }'
}

row "Delay (effect 7)" "$WORK/delay.txt" ZamDelay
row "Reverb (effect 6)" "$WORK/reverb.txt" ZamVerb
row "plain playing loop" "$WORK/loop.txt" ZamGrains

printf '\nratio: Vamplet realtime factor / peer realtime factor (above 1: Vamplet is faster).\n'
printf 'ratio/channel: the same, per channel processed (a mono peer does half the work of a stereo one).\n'
