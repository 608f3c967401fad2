#!/usr/bin/env bash
# Cost of the capture formats, each beside a reference measured in the same run on the same
# generated DV tape (PAL, three recordings):
#   - native DV capture (DV type 2 and DV type 1) from a file deck, converted as fast as it goes:
#     CPU seconds per captured second against
#     gst-launch-1.0 filesrc ! dvdemux ! avimux ! filesink (the same muxing, nothing else);
#   - the same native capture in real time: CPU as a share of one core;
#   - DV re-encoding (DV type 2 (recomp), --fast): frames per second against
#     ffmpeg -c:v dvvideo on the same tape;
#   - Divx on one core (taskset), --fast: frames per second against the 25 of real time.
#
#     bench/capture_bench.sh [build-dir] [tape-seconds]
#
# Writes nothing outside a temporary folder. Each figure is the median of three runs.
set -euo pipefail
BUILD=${1:-build}
SECONDS_OF_TAPE=${2:-40}
CAP="$BUILD/app/vidorel-capture"
MKTAPE="$BUILD/bench/vidorel_make_tape"
for tool in "$CAP" "$MKTAPE"; do
    [ -x "$tool" ] || { echo "no $tool: build first" >&2; exit 1; }
done

WORK=$(mktemp -d /tmp/vidorel-capture-bench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config XDG_DATA_HOME=$WORK/home/.local/share
mkdir -p "$HOME"
TAPE=$WORK/tape.dv
"$MKTAPE" "$TAPE" "$SECONDS_OF_TAPE" 3 >/dev/null
FRAMES=$(( SECONDS_OF_TAPE * 25 ))

# CPU seconds (user + system) of a command, its wall seconds on the second line.
cpu() {
    local out=$WORK/time.txt
    /usr/bin/time -f "%U %S %e" -o "$out" "$@" >/dev/null 2>&1 || true
    awk '{ printf "%.3f\n%.3f\n", $1 + $2, $3 }' "$out"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# The median over three runs of the first (cpu) or second (wall) figure.
measure() { # field command...
    local field=$1; shift
    for _ in 1 2 3; do cpu "$@" | sed -n "${field}p"; rm -f "$WORK"/out*; done | median
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

echo "tape: $SECONDS_OF_TAPE s, $FRAMES frames"

REF=$(measure 1 gst-launch-1.0 -q filesrc location="$TAPE" ! dvdemux name=d d.video ! queue \
    ! avimux name=m ! filesink location="$WORK/out-ref.avi" d.audio ! queue ! m.)
for format in "DV type 2 native" "DV type 1 native"; do
    OURS=$(measure 1 "$CAP" --dv-file "$TAPE" --format "$format" --fast --output "$WORK/out.avi")
    echo "$format, --fast: $(ratio "$OURS" "$SECONDS_OF_TAPE") CPU s per captured s;" \
        "reference $(ratio "$REF" "$SECONDS_OF_TAPE"); ratio $(ratio "$OURS" "$REF")x"
done

# Real time: the share of one core while the deck plays at its own pace.
RT_SECONDS=$(( SECONDS_OF_TAPE < 20 ? SECONDS_OF_TAPE : 20 ))
RT=$(cpu "$CAP" --dv-file "$TAPE" --format "DV type 2 native" --seconds "$RT_SECONDS" \
    --output "$WORK/out-rt.avi" | sed -n 1p)
echo "DV type 2 native, real time: $(awk -v c="$RT" -v s="$RT_SECONDS" \
    'BEGIN { printf "%.1f", 100 * c / s }') % of one core"

OURS_WALL=$(measure 2 "$CAP" --dv-file "$TAPE" --format "DV type 2 (recomp)" --fast \
    --output "$WORK/out.avi")
FF_WALL=$(measure 2 ffmpeg -v error -y -i "$TAPE" -c:v dvvideo -c:a pcm_s16le \
    "$WORK/out-ff.avi")
OURS_FPS=$(ratio "$FRAMES" "$OURS_WALL")
FF_FPS=$(ratio "$FRAMES" "$FF_WALL")
echo "DV re-encoding, --fast: $OURS_FPS frames/s; ffmpeg -c:v dvvideo $FF_FPS frames/s;" \
    "ratio $(ratio "$OURS_FPS" "$FF_FPS")x"

DIVX_WALL=$(measure 2 taskset -c 0 "$CAP" --dv-file "$TAPE" --format Divx --fast \
    --output "$WORK/out.avi")
DIVX_FPS=$(ratio "$FRAMES" "$DIVX_WALL")
echo "Divx on one core, --fast: $DIVX_FPS frames/s; $(ratio "$DIVX_FPS" 25)x real time"
