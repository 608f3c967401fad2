#!/usr/bin/env bash
# Cost of the capture formats, each beside a reference measured in the same run on the same
# generated DV tape (PAL, three recordings):
#   - native DV capture (DV type 2 and DV type 1) from a file deck, converted as fast as it goes:
#     CPU seconds per captured second against
#     gst-launch-1.0 filesrc ! dvdemux ! avimux ! filesink (the same muxing, nothing else);
#   - the same native capture in real time: CPU as a share of one core;
#   (both as the cost of one more captured second: a short run's cost is taken off a long one's)
#   - DV re-encoding (DV type 2 (recomp), --fast): frames per second against
#     ffmpeg -c:v dvvideo on the same tape;
#   - Divx on one core (taskset), --fast: frames per second against the 25 of real time;
#   (the speeds as well are those of one more stretch of tape, without each program's start)
#
#     bench/capture_bench.sh [build-dir] [tape-seconds]
#
# Writes nothing outside a temporary folder. Each figure is the median of three runs, five for
# the native captures (their cost is a few tens of milliseconds over the whole tape, so one
# busy moment of the machine moves a single run's ratio by a tenth or more).
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
# The median over RUNS runs (three unless set) of the first (cpu) or second (wall) figure.
measure() { # field command...
    local field=$1; shift
    for _ in $(seq "${RUNS:-3}"); do cpu "$@" | sed -n "${field}p"; rm -f "$WORK"/out*; done | median
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

echo "tape: $SECONDS_OF_TAPE s, $FRAMES frames"

# What one more captured second costs: the difference between a short and the long tape (or
# run), so the start of each program (device listing, plug-in loading) does not count.
SHORT=8
SHORT_TAPE=$WORK/short.dv
"$MKTAPE" "$SHORT_TAPE" "$SHORT" 3 >/dev/null
marginal() { awk -v a="$1" -v b="$2" -v s="$3" 'BEGIN { printf "%.4f", (a - b) / s }'; }
reference() { # tape
    RUNS=5 measure 1 gst-launch-1.0 -q filesrc location="$1" ! dvdemux name=d \
        avimux name=m ! filesink location="$WORK/out-ref.avi" \
        d.video ! queue ! video/x-dv ! m.video_0 d.audio ! queue ! audio/x-raw ! m.audio_0
}
REF=$(marginal "$(reference "$TAPE")" "$(reference "$SHORT_TAPE")" $(( SECONDS_OF_TAPE - SHORT )))
for format in "DV type 2 native" "DV type 1 native"; do
    LONG=$(RUNS=5 measure 1 "$CAP" --dv-file "$TAPE" --format "$format" --fast --output "$WORK/out.avi")
    BRIEF=$(RUNS=5 measure 1 "$CAP" --dv-file "$SHORT_TAPE" --format "$format" --fast \
        --output "$WORK/out.avi")
    OURS=$(marginal "$LONG" "$BRIEF" $(( SECONDS_OF_TAPE - SHORT )))
    echo "$format, --fast: $OURS CPU s per captured s; reference $REF; ratio $(ratio "$OURS" "$REF")x"
done

# Real time: the share of one core while the deck plays at its own pace (20 s against 4 s).
RT_LONG=$(cpu "$CAP" --dv-file "$TAPE" --format "DV type 2 native" --seconds 20 \
    --output "$WORK/out-rt.avi" | sed -n 1p)
RT_SHORT=$(cpu "$CAP" --dv-file "$TAPE" --format "DV type 2 native" --seconds 4 \
    --output "$WORK/out-rt.avi" | sed -n 1p)
echo "DV type 2 native, real time: $(awk -v a="$RT_LONG" -v b="$RT_SHORT" \
    'BEGIN { printf "%.1f", 100 * (a - b) / 16 }') % of one core per captured second" \
    "(whole 20 s run: $(awk -v c="$RT_LONG" 'BEGIN { printf "%.1f", 100 * c / 20 }') %)"

# Frames per second of converting, again as one more stretch of tape: (long - short) frames
# over the difference of the wall times.
SHORT_FRAMES=$(( SHORT * 25 ))
fps() { # long-wall short-wall
    awk -v a="$1" -v b="$2" -v n=$(( FRAMES - SHORT_FRAMES )) \
        'BEGIN { printf "%.0f", (a > b ? n / (a - b) : 0) }'
}
recomp() { measure 2 "$CAP" --dv-file "$1" --format "DV type 2 (recomp)" --fast --output "$WORK/out.avi"; }
ffdv() { measure 2 ffmpeg -v error -y -i "$1" -c:v dvvideo -c:a pcm_s16le "$WORK/out-ff.avi"; }
OURS_FPS=$(fps "$(recomp "$TAPE")" "$(recomp "$SHORT_TAPE")")
FF_FPS=$(fps "$(ffdv "$TAPE")" "$(ffdv "$SHORT_TAPE")")
echo "DV re-encoding, --fast: $OURS_FPS frames/s; ffmpeg -c:v dvvideo $FF_FPS frames/s;" \
    "ratio $(ratio "$OURS_FPS" "$FF_FPS")x"

divx() { measure 2 taskset -c 0 "$CAP" --dv-file "$1" --format Divx --fast --output "$WORK/out.avi"; }
DIVX_FPS=$(fps "$(divx "$TAPE")" "$(divx "$SHORT_TAPE")")
echo "Divx on one core, --fast: $DIVX_FPS frames/s; $(ratio "$DIVX_FPS" 25)x real time"
