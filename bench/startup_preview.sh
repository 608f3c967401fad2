#!/usr/bin/env bash
# Start-up and preview cost of the program, beside gst-launch-1.0 references measured in the
# same run on the same virtual X server:
#   - time from start to the first preview frame on screen (and the reference's first frame),
#   - the longest time the window's event loop went without turning during start-up,
#     with the test pattern and with the DV test deck,
#   - preview CPU (CPU seconds per second of wall time, medians of several runs) with every
#     effect off and with inlay and mirror on, against
#     videotestsrc ! clockoverlay ! videoconvert ! ximagesink (the test pattern's own pipeline),
#     and the resident memory of both.
#
#     bench/startup_preview.sh [build-dir] [runs]
#
# Needs Xvfb and the built program; writes nothing outside a temporary folder.
set -euo pipefail
BUILD=${1:-build}
RUNS=${2:-5}
APP="$BUILD/app/vidorel"
[ -x "$APP" ] || { echo "no $APP: build first" >&2; exit 1; }

WORK=$(mktemp -d /tmp/vidorel-startup-XXXXXX)
DISPLAY_NUM=:$((90 + RANDOM % 9))
Xvfb "$DISPLAY_NUM" -screen 0 1280x1024x24 >/dev/null 2>&1 &
XVFB=$!
cleanup() { kill "$XVFB" 2>/dev/null || true; rm -rf "$WORK"; }
trap cleanup EXIT
sleep 1
export DISPLAY=$DISPLAY_NUM
export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config XDG_DATA_HOME=$WORK/home/.local/share
mkdir -p "$XDG_CONFIG_HOME/vidorel" "$XDG_DATA_HOME"

# The stored sources and effects, as the preferences hold them.
seed() { # video audio inlay mirror
    cat >"$XDG_CONFIG_HOME/vidorel/registry.reg" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Marlott\\Vidorel]
"Source video"="$1"
"Source Audio"="$2"
"Activer Superposition"=dword:00000001
"Want Incrust"=dword:0000000$3
"Want Horz flip"=dword:0000000$4
"Sauver préférences en quittant"=dword:00000000
EOF
}

median() { sort -g | awk '{a[NR]=$1} END {if (NR) print a[int((NR+1)/2)]}'; }

# CPU seconds per wall second of a command between 6 and 16 s after its start, and its RSS.
cpu_of() {
    "$@" >/dev/null 2>&1 &
    local pid=$! a b
    sleep 6
    a=$(awk '{print $14+$15}' /proc/$pid/stat)
    sleep 10
    b=$(awk '{print $14+$15}' /proc/$pid/stat)
    local rss
    rss=$(awk '/VmRSS/{print $2}' /proc/$pid/status)
    kill $pid; wait $pid 2>/dev/null || true
    echo "$(echo "scale=4; ($b-$a)/100/10" | bc) $rss"
}

REFERENCE=(gst-launch-1.0 videotestsrc is-live=true pattern=ball
    '!' video/x-raw,format=I420,width=720,height=576,framerate=25/1
    '!' clockoverlay halignment=right valignment=bottom 'time-format=%H:%M:%S' 'font-desc=Sans 24'
    '!' videoconvert '!' ximagesink)

startup() { # label video audio (a deck's tape is stopped: its first frame waits for Play)
    seed "$2" "$3" 0 0
    local first=() stall=()
    for _ in $(seq "$RUNS"); do
        local log
        log=$(QT_LOGGING_RULES="vidorel.startup=true" timeout 8 "$APP" 2>&1 || true)
        first+=("$(echo "$log" | awk '/first preview frame painted/{print $2}')")
        stall+=("$(echo "$log" | awk '/longest time without/{print $(NF-4)}')")
    done
    local f
    f=$(printf '%s\n' "${first[@]}" | { grep . || true; } | median)
    printf '%-34s first frame %6s ms   longest event-loop stall %4s ms (median of %s)\n' "$1" \
        "${f:-(none)}" "$(printf '%s\n' "${stall[@]}" | median)" "$RUNS"
}

echo "== start-up"
startup "test pattern, test tone" "Vidorel Test Pattern" "Vidorel Test Tone"
startup "DV test deck (picture and sound)" "DV Source - Video" "DV Source - Audio"
ref_first=()
for _ in $(seq "$RUNS"); do
    t=$( (GST_DEBUG=ximagesink:6 timeout 3 "${REFERENCE[@]}" 2>&1 || true) |
        awk '/gst_x_image_sink_show_frame/{split($1,a,":"); print a[3]*1000; exit}')
    ref_first+=("$t")
done
printf '%-34s first frame %6.0f ms\n' "reference gst-launch-1.0" \
    "$(printf '%s\n' "${ref_first[@]}" | median)"

echo "== preview CPU (CPU s per s, median of $RUNS runs of 10 s)"
run_cpu() { # label inlay mirror
    seed "Vidorel Test Pattern" "No Audio Stream" "$2" "$3"
    local c=() r=()
    for _ in $(seq "$RUNS"); do
        read -r cpu rss < <(cpu_of "$APP")
        c+=("$cpu"); r+=("$rss")
    done
    echo "$(printf '%s\n' "${c[@]}" | median) $(printf '%s\n' "${r[@]}" | median)"
}
[ -n "${SKIP_CPU:-}" ] && exit 0
ref_c=() ref_r=()
for _ in $(seq "$RUNS"); do
    read -r cpu rss < <(cpu_of "${REFERENCE[@]}")
    ref_c+=("$cpu"); ref_r+=("$rss")
done
REF_CPU=$(printf '%s\n' "${ref_c[@]}" | median)
REF_RSS=$(printf '%s\n' "${ref_r[@]}" | median)
read -r OFF_CPU OFF_RSS < <(run_cpu off 0 0)
read -r ON_CPU ON_RSS < <(run_cpu on 1 1)
printf '%-34s %.3f   RSS %6d KiB\n' "reference gst-launch-1.0" "$REF_CPU" "$REF_RSS"
printf '%-34s %.3f   RSS %6d KiB   %.2fx the reference\n' "program, effects off" "$OFF_CPU" \
    "$OFF_RSS" "$(echo "scale=4; $OFF_CPU/$REF_CPU" | bc)"
printf '%-34s %.3f   RSS %6d KiB   %.2fx the reference\n' "program, inlay and mirror" "$ON_CPU" \
    "$ON_RSS" "$(echo "scale=4; $ON_CPU/$REF_CPU" | bc)"
