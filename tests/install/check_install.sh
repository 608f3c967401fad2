#!/usr/bin/env bash
# check_install.sh BUILD_DIR SOURCE_DIR LIBDIR VERSION
#
# Installs the build with DESTDIR into a prefix whose folders do not exist yet, checks every file
# a user and the desktop expect and nothing outside the prefix, validates the desktop entry, the
# AppStream metainfo, the icons and the manual pages, then runs the installed programs with the
# source and build trees hidden (a private mount namespace puts an empty folder over them): the
# installed copy must start, list the virtual devices and its own sample plug-in, record, and
# store its own plug-in folder as the default.
set -uo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
libdir=$3
version=$4

work=$(mktemp -d /tmp/vidorel-install-XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

prefix=/opt/vidorel-check/usr
root=$work/root
if ! DESTDIR=$root cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install failed"
    exit 1
fi
p=$root$prefix

# --- the files ---
icon=org.vidorel.Vidorel
expected=(
    bin/vidorel bin/vidorel-capture bin/vidorel-dvinfo
    "$libdir/gstreamer-1.0/libgstvidorel.so"
    "$libdir/vidorel/plugins/mpegcard.pzv"
    "share/applications/$icon.desktop"
    "share/metainfo/$icon.metainfo.xml"
    "share/icons/hicolor/scalable/apps/$icon.svg"
    share/man/man1/vidorel.1 share/man/man1/vidorel-capture.1 share/man/man1/vidorel-dvinfo.1
    lib/udev/rules.d/60-vidorel-firewire.rules
    include/vidorel/pzv.h
    share/doc/vidorel/README.md share/doc/vidorel/user-guide.md share/doc/vidorel/plugins/README.md
)
sizes=(16 24 32 48 64 128 256)
for s in "${sizes[@]}"; do
    expected+=("share/icons/hicolor/${s}x${s}/apps/$icon.png")
done
for f in "${expected[@]}"; do
    [ -f "$p/$f" ] || fail "not installed: $f"
done
for b in vidorel vidorel-capture vidorel-dvinfo; do
    [ -x "$p/bin/$b" ] || fail "bin/$b is not executable"
done
outside=$(cd "$root" && find . -type f ! -path ".$prefix/*")
[ -z "$outside" ] || fail "installed outside the prefix: $outside"
# Every picture the guide shows is installed with it.
for img in $(grep -o 'images/[A-Za-z0-9_.-]*\.png' "$src/docs/user-guide.md" | sort -u); do
    [ -f "$p/share/doc/vidorel/$img" ] || fail "the guide's $img is not installed"
done

# Each PNG is as large as the folder it is in says (width and height from the IHDR chunk).
png_size() {
    od -An -tu1 -j16 -N8 "$1" |
        awk '{ printf "%dx%d", $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }'
}
for s in "${sizes[@]}"; do
    f="$p/share/icons/hicolor/${s}x${s}/apps/$icon.png"
    [ -f "$f" ] || continue
    [ "$(head -c 8 "$f" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] || fail "$f is not a PNG"
    [ "$(png_size "$f")" = "${s}x${s}" ] || fail "$f is $(png_size "$f"), not ${s}x${s}"
done
grep -q '<svg' "$p/share/icons/hicolor/scalable/apps/$icon.svg" || fail "the scalable icon is not an SVG"

# --- the desktop entry and the metainfo ---
desktop=$p/share/applications/$icon.desktop
if ! desktop-file-validate "$desktop"; then
    fail "desktop-file-validate refuses $desktop"
fi
grep -qx 'Categories=AudioVideo;Video;Recorder;' "$desktop" || fail "the desktop entry's categories"
grep -qx 'Exec=vidorel' "$desktop" || fail "the desktop entry does not start vidorel"
grep -qx "Icon=$icon" "$desktop" || fail "the desktop entry's icon is not $icon"
metainfo=$p/share/metainfo/$icon.metainfo.xml
if ! appstreamcli validate --no-net "$metainfo"; then
    fail "appstreamcli refuses $metainfo"
fi
grep -q "<id>$icon</id>" "$metainfo" || fail "the metainfo's id"
grep -q "<launchable type=\"desktop-id\">$icon.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $icon.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"

# --- the manual pages ---
for page in vidorel vidorel-capture vidorel-dvinfo; do
    f=$p/share/man/man1/$page.1
    [ -f "$f" ] || continue
    grep -q "^\.TH ${page^^} 1 .*\"Vidorel $version\"" "$f" || fail "$page.1 is not of version $version"
    if command -v groff >/dev/null; then
        warnings=$(groff -man -Tutf8 -ww -z "$f" 2>&1)
        [ -z "$warnings" ] || fail "$page.1 renders with warnings: $warnings"
    fi
done
grep -q 'ATTR{units}=="\*0x00a02d:0x010001\*", GROUP="video"' "$p/lib/udev/rules.d/60-vidorel-firewire.rules" ||
    fail "the udev rule does not give AV/C units to the video group"

# --- nothing points back into the trees ---
for b in "$p"/bin/* "$p/$libdir"/gstreamer-1.0/*.so "$p/$libdir"/vidorel/plugins/*.pzv; do
    paths=$(readelf -d "$b" 2>/dev/null | grep -E 'RPATH|RUNPATH')
    case "$paths" in
    *"$build"* | *"$src"*) fail "$b keeps a path into the build: $paths" ;;
    esac
done

# --- the installed programs, with the trees out of sight ---
cat >"$work/inside.sh" <<EOF
set -u
fails=0
fail() { echo "FAIL: \$*"; fails=\$((fails + 1)); }
cd /
[ ! -e "$src/CMakeLists.txt" ] || fail "the source tree is still in sight"
[ ! -e "$build/CMakeCache.txt" ] || fail "the build tree is still in sight"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/runtime GST_REGISTRY=$work/registry.bin QT_QPA_PLATFORM=offscreen
mkdir -p "\$HOME" "\$XDG_RUNTIME_DIR" && chmod 700 "\$XDG_RUNTIME_DIR"
unset GST_PLUGIN_PATH DISPLAY WAYLAND_DISPLAY PULSE_SERVER
for prog in vidorel vidorel-capture vidorel-dvinfo; do
    out=\$("$p/bin/\$prog" --version)
    [ "\$out" = "\$prog $version" ] || fail "\$prog --version says '\$out'"
    "$p/bin/\$prog" --help | head -1 | grep -q "^usage: \$prog" || fail "\$prog --help"
done
list=\$("$p/bin/vidorel-capture" --list 2>"$work/list.err")
echo "\$list" | grep -qx 'video: Vidorel Test Pattern' || fail "--list lacks the test pattern: \$list \$(cat "$work/list.err")"
# The sample plug-in is found in the installed copy's own folder.
echo "\$list" | grep -qx 'video: MPEG Encoder Card' || fail "--list lacks the sample plug-in's card: \$list"
echo "\$list" | grep -qx 'format: DV type 2 (recomp)' || fail "--list lacks the formats: \$list"
out=\$("$p/bin/vidorel-capture" --video "Vidorel Test Pattern" --audio "Vidorel Test Tone" \
    --format "DV type 2 (recomp)" --seconds 1 --output "$work/out.avi" 2>&1)
echo "\$out" | grep -qx "wrote $work/out.avi" || fail "the installed capture: \$out"
[ "\$(head -c 4 "$work/out.avi" 2>/dev/null)" = RIFF ] || fail "the capture is not a RIFF file"
[ "\$(stat -c %s "$work/out.avi" 2>/dev/null || echo 0)" -gt 1000000 ] || fail "the capture holds under a second of DV"
GST_PLUGIN_PATH="$p/$libdir/gstreamer-1.0" gst-inspect-1.0 zv_scenedetect 2>&1 |
    grep -q "$p/$libdir/gstreamer-1.0/libgstvidorel.so" || fail "gst-inspect-1.0 does not find the installed elements"
# The window starts with no sound server and no camera, and closes on SIGTERM storing its
# preferences, the default plug-in folder among them.
"$p/bin/vidorel" >"$work/window.out" 2>&1 &
pid=\$!
sleep 6
kill -TERM \$pid
wait \$pid
rc=\$?
[ \$rc -eq 0 ] || fail "the window ended with status \$rc: \$(cat "$work/window.out")"
store=\$HOME/.config/vidorel/registry.reg
grep -qF '"Plugins Dir"="$p/$libdir/vidorel/plugins/"' "\$store" ||
    fail "the window's plug-in folder: \$(grep 'Plugins Dir' "\$store")"
exit \$fails
EOF

hide="mount -t tmpfs tmpfs '$src'"
case "$build" in
"$src"/*) ;;
*) hide="$hide && mount -t tmpfs tmpfs '$build'" ;;
esac
if unshare --user --map-root-user --mount true 2>/dev/null; then
    unshare --user --map-root-user --mount bash -c "$hide && exec bash '$work/inside.sh'"
    failures=$((failures + $?))
else
    # Without user namespaces the trees cannot be hidden; the runs still prove the installed
    # copy takes nothing from them as far as the checks above can tell.
    echo "note: no user namespaces here; the installed programs run with the trees in sight"
    bash "$work/inside.sh"
    failures=$((failures + $?))
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "install tree: all checks passed"
