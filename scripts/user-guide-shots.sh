#!/usr/bin/env bash
# Takes the screenshots of docs/user-guide.md and writes them, small, into docs/images/.
#
#   bash scripts/user-guide-shots.sh [PROGRAM]
#
# PROGRAM is the window program to photograph (default: build/app/vidorel). Each shot runs it
# on a virtual X server started for the run, with a throw-away home and XDG folders seeded with the
# preferences the shot needs, so the user's own preferences and files are never touched.
# Needs Xvfb, ffmpeg and xdotool (installed with apt-get when missing).
# A shot that fails is reported and the others are still taken; the exit status is then 1.
set -uo pipefail
# A program given on the command line is taken relative to where the script was called from.
PROGRAM=${1:-}
if [ -n "$PROGRAM" ] && [ "${PROGRAM#/}" = "$PROGRAM" ]; then
    PROGRAM="$PWD/$PROGRAM"
fi
cd "$(dirname "$0")/.." || exit 2
PROGRAM=${PROGRAM:-build/app/vidorel}
OUT=docs/images
# Time for the devices to be listed and the preview to run before a picture is taken.
SETTLE=${SETTLE:-7}

say() { echo "user-guide-shots: $*"; }

if [ ! -x "$PROGRAM" ]; then
    say "no program at $PROGRAM (build it first, or give its path)" >&2
    exit 2
fi

need=()
command -v Xvfb >/dev/null || need+=(xvfb)
command -v ffmpeg >/dev/null || need+=(ffmpeg)
command -v xdotool >/dev/null || need+=(xdotool)
if [ ${#need[@]} -gt 0 ]; then
    say "installing ${need[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null 2>&1 ||
        { $SUDO apt-get update -qq && $SUDO apt-get install -y -qq --no-install-recommends \
            "${need[@]}" >/dev/null 2>&1; } ||
        say "could not install ${need[*]}" >&2
fi
for tool in Xvfb ffmpeg; do
    command -v "$tool" >/dev/null || { say "$tool is missing" >&2; exit 2; }
done
HAVE_XDOTOOL=1
command -v xdotool >/dev/null || {
    HAVE_XDOTOOL=0
    say "xdotool is missing: the shots that need key presses are skipped" >&2
}

WORK=$(mktemp -d -t vidorel-guide.XXXXXX)
XVFB_PID=""
APP_PID=""
cleanup() {
    [ -n "$APP_PID" ] && kill -KILL "$APP_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A display number nobody uses: neither its lock file nor its socket exists.
DISPLAY_NUM=""
for n in $(seq 99 199); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
        DISPLAY_NUM=$n
        break
    fi
done
[ -n "$DISPLAY_NUM" ] || { say "no free display number" >&2; exit 2; }
Xvfb ":$DISPLAY_NUM" -screen 0 1024x768x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$DISPLAY_NUM" ] && break
    sleep 0.1
done
if ! kill -0 "$XVFB_PID" 2>/dev/null; then
    say "Xvfb did not start:" >&2
    cat "$WORK/xvfb.log" >&2
    exit 2
fi

unset WAYLAND_DISPLAY
export DISPLAY=":$DISPLAY_NUM" QT_QPA_PLATFORM=xcb
mkdir -p "$OUT"

# The preferences every shot starts from; each shot adds its own values after these.
BASE_PREFS='"Volume"=dword:00001388'

failed=()
taken=()

# Ends the program as a user would, with one SIGTERM, and waits for it to save and close.
stop_program() {
    [ -n "$APP_PID" ] || return 0
    kill -TERM "$APP_PID" 2>/dev/null
    for _ in $(seq 150); do
        kill -0 "$APP_PID" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$APP_PID" 2>/dev/null; then
        say "the program did not end on SIGTERM within 15 s; killing it" >&2
        kill -KILL "$APP_PID" 2>/dev/null
    fi
    wait "$APP_PID" 2>/dev/null
    APP_PID=""
}

# Bounding box (W H X Y) of the program's visible windows: the main window, its camcorder
# windows and any open menu. Without xdotool, the centred main window and the camcorder
# window below it, where the program puts them on a fresh start.
window_box() {
    local x0=99999 y0=99999 x1=0 y1=0 found=0 w geo px py gw gh
    if [ "$HAVE_XDOTOOL" = 1 ]; then
        for w in $(xdotool search --onlyvisible --pid "$APP_PID" 2>/dev/null); do
            geo=$(xdotool getwindowgeometry --shell "$w" 2>/dev/null) || continue
            px=$(sed -n 's/^X=//p' <<<"$geo")
            py=$(sed -n 's/^Y=//p' <<<"$geo")
            gw=$(sed -n 's/^WIDTH=//p' <<<"$geo")
            gh=$(sed -n 's/^HEIGHT=//p' <<<"$geo")
            # Qt's hidden helper windows are a few pixels wide.
            if [ "${gw:-0}" -lt 40 ] || [ "${gh:-0}" -lt 30 ]; then
                continue
            fi
            found=1
            ((px < x0)) && x0=$px
            ((py < y0)) && y0=$py
            ((px + gw > x1)) && x1=$((px + gw))
            ((py + gh > y1)) && y1=$((py + gh))
        done
    fi
    if [ "$found" = 0 ]; then
        x0=162 y0=154 x1=862 y1=699
    fi
    ((x0 < 0)) && x0=0
    ((y0 < 0)) && y0=0
    ((x1 > 1024)) && x1=1024
    ((y1 > 768)) && y1=768
    echo "$((x1 - x0)) $((y1 - y0)) $x0 $y0"
}

# shot NAME PREFS [ACTION...]
#   PREFS: extra lines for the preferences file ("Name"=value, separated by \n).
#   ACTION: a key for xdotool (space, ctrl+space, F12...), sleep:SECONDS,
#           click:X,Y (left click at X,Y inside the main window) or park (mouse out of the way).
shot() {
    local name=$1 prefs=$2
    shift 2
    local dir="$WORK/$name"
    mkdir -p "$dir/home" "$dir/config/vidorel" "$dir/data"
    if [ $# -gt 0 ] && [ "$HAVE_XDOTOOL" = 0 ]; then
        say "$name: skipped (needs xdotool)" >&2
        failed+=("$name")
        return
    fi
    # The desktop's usual folders, so the Folders panel shows them as on a desktop. The file
    # holds a literal $HOME, as the desktop writes it.
    mkdir -p "$dir/home/Videos" "$dir/home/Pictures"
    # shellcheck disable=SC2016
    printf 'XDG_VIDEOS_DIR="$HOME/Videos"\nXDG_PICTURES_DIR="$HOME/Pictures"\n' \
        >"$dir/config/user-dirs.dirs"
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Marlott\\Vidorel]\r\n%b\r\n%b\r\n' \
        "$BASE_PREFS" "${prefs//\\n/\\r\\n}" >"$dir/config/vidorel/registry.reg"

    HOME="$dir/home" XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data" \
        XDG_CACHE_HOME="$dir/cache" "$PROGRAM" >"$dir/program.log" 2>&1 &
    APP_PID=$!
    sleep "$SETTLE"
    if ! kill -0 "$APP_PID" 2>/dev/null; then
        wait "$APP_PID" 2>/dev/null
        APP_PID=""
        say "$name: the program ended before the shot; its output:" >&2
        sed 's/^/    /' "$dir/program.log" >&2
        failed+=("$name")
        return
    fi

    local ok=1 action main xy
    if [ $# -gt 0 ]; then
        main=$(xdotool search --onlyvisible --pid "$APP_PID" --name '^Vidorel [0-9]' 2>/dev/null |
            head -1)
        if [ -z "$main" ]; then
            say "$name: the main window was not found" >&2
            ok=0
        else
            xdotool windowfocus --sync "$main" 2>/dev/null || xdotool windowfocus "$main"
        fi
    fi
    for action in "$@"; do
        [ "$ok" = 1 ] || break
        case $action in
        sleep:*) sleep "${action#sleep:}" ;;
        park) xdotool mousemove 1020 765 || ok=0 ;;
        click:*)
            xy=${action#click:}
            xdotool mousemove --window "$main" "${xy%,*}" "${xy#*,}" click 1 || ok=0
            ;;
        *) xdotool key --clearmodifiers "$action" || ok=0 ;;
        esac
    done
    if [ "$ok" = 1 ] && ! kill -0 "$APP_PID" 2>/dev/null; then
        say "$name: the program ended during the shot" >&2
        ok=0
    fi

    local box
    if [ "$ok" = 1 ]; then
        box=$(window_box)
        if ! ffmpeg -v error -y -f x11grab -video_size 1024x768 -i "$DISPLAY" -frames:v 1 \
            "$dir/raw.png"; then
            say "$name: the screen could not be grabbed" >&2
            ok=0
        fi
    fi
    stop_program

    if [ "$ok" = 1 ]; then
        local w h x y scale
        read -r w h x y <<<"$box"
        scale="scale=iw:-1"
        [ "$w" -gt 800 ] && scale="scale=800:-1:flags=lanczos"
        # 128 colours keep the pictures small; the window has few colours anyway.
        if ffmpeg -v error -y -i "$dir/raw.png" -vf \
            "crop=$w:$h:$x:$y,$scale,split[a][b];[a]palettegen=max_colors=128[p];[b][p]paletteuse" \
            -frames:v 1 "$OUT/$name.png"; then
            taken+=("$name")
            say "$OUT/$name.png ($(($(stat -c %s "$OUT/$name.png") / 1024)) KiB, window ${w}x$h)"
        else
            say "$name: the picture could not be cropped" >&2
            ok=0
        fi
    fi
    [ "$ok" = 1 ] || failed+=("$name")
}

DECK='"Source video"="DV Source - Video"\n"Source Audio"="DV Source - Audio"'
PATTERN='"Source video"="Vidorel Test Pattern"\n"Source Audio"="Vidorel Test Tone"'
# Capture Format numbers: 2 DV type 2 native, 6 DV type 2 (recomp), 8 Image/image, 9 Divx.

# The Sources panel with the DV test deck, its tape playing in the camcorder window.
shot window-sources "\"Panneau Actif\"=dword:00000000\n$DECK\n\"Capture Format\"=dword:00000002" \
    park ctrl+space sleep:3

# A DV capture running: red frame, duration and lost frames in the status bar.
shot recording "\"Panneau Actif\"=dword:00000000\n$DECK\n\"Capture Format\"=dword:00000002" \
    park ctrl+space sleep:2 space sleep:5

# The video source's settings menu (the button beside the source list).
shot source-settings-menu "\"Panneau Actif\"=dword:00000000\n$PATTERN\n\"Capture Format\"=dword:00000009" \
    click:654,70 sleep:2

# The Schedule panel, armed with Ctrl+P (yellow frame). The start it offers is the next whole
# minute: start early enough in the minute that it is still ahead when Ctrl+P is pressed.
while [ "$(date +%S | sed 's/^0//')" -gt 40 ]; do sleep 1; done
shot schedule "\"Panneau Actif\"=dword:00000002\n$DECK\n\"Capture Format\"=dword:00000002" \
    park ctrl+space sleep:1 ctrl+p sleep:2

# A time-lapse being made: Image/image format recording, the intervalometer grabbing a frame
# every 2 seconds (its switch clicked on the Grab panel).
shot timelapse "\"Panneau Actif\"=dword:00000003\n$PATTERN\n\"Capture Format\"=dword:00000008\n\"Valeur Intervallomètre\"=dword:00000002" \
    space sleep:1 click:667,251 park sleep:6

# The Inlay panel with the tape's recording date drawn into the picture (F12).
shot inlay "\"Panneau Actif\"=dword:00000004\n$DECK\n\"Capture Format\"=dword:00000006\n\"What Incrust\"=dword:00000001" \
    park ctrl+space sleep:2 F12 sleep:3

# The Folders panel with its defaults.
shot folders "\"Panneau Actif\"=dword:00000001\n$DECK\n\"Capture Format\"=dword:00000002" \
    park ctrl+space sleep:2

# The Settings panel.
shot settings "\"Panneau Actif\"=dword:00000005\n$DECK\n\"Capture Format\"=dword:00000002" \
    park ctrl+space sleep:2

say "taken: ${taken[*]:-none}"
if [ ${#failed[@]} -gt 0 ]; then
    say "FAILED: ${failed[*]}" >&2
    exit 1
fi
