#!/usr/bin/env bash
# A long real-time capture from the DV Test Deck in DV type 2: reports the frames lost (goal 0)
# and the difference between the lengths of the sound and the picture (goal under one frame,
# 40 ms).
#
#     bench/soak_dv_capture.sh [build-dir] [seconds]     (default 600: ten minutes)
#
# Writes nothing outside a temporary folder.
set -euo pipefail
BUILD=${1:-build}
DURATION=${2:-600}
CAP="$BUILD/app/vidorel-capture"
MKTAPE="$BUILD/bench/vidorel_make_tape"
for tool in "$CAP" "$MKTAPE"; do
    [ -x "$tool" ] || { echo "no $tool: build first" >&2; exit 1; }
done

WORK=$(mktemp -d /tmp/vidorel-soak-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config XDG_DATA_HOME=$WORK/home/.local/share
mkdir -p "$HOME"
# A tape a little longer than the run, played in real time by a deck of its own.
TAPE=$WORK/tape.dv
"$MKTAPE" "$TAPE" $(( DURATION + 10 )) 5 >/dev/null
OUT=$WORK/soak.avi
"$CAP" --dv-file "$TAPE" --format "DV type 2 native" --seconds "$DURATION" --output "$OUT" \
    >"$WORK/status.txt"
STATUS=$(grep "lost frames" "$WORK/status.txt" | tail -1)
VIDEO=$(ffprobe -v error -select_streams v -count_packets -show_entries stream=nb_read_packets \
    -of csv=p=0 "$OUT")
AUDIO_BYTES=$(ffprobe -v error -select_streams a -show_entries packet=size -of csv=p=0 "$OUT" \
    | awk '{ s += $1 } END { print s }')
RATE=$(ffprobe -v error -select_streams a -show_entries stream=sample_rate -of csv=p=0 "$OUT")
echo "status: $STATUS"
awk -v v="$VIDEO" -v b="$AUDIO_BYTES" -v r="$RATE" 'BEGIN {
    video = v / 25; audio = b / (r * 4);
    printf "picture %.3f s (%d frames), sound %.3f s, difference %.1f ms\n",
        video, v, audio, 1000 * (audio - video) }'
