#!/usr/bin/env bash
# Builds the Debian package and checks it the way a user meets it: installed with apt on a
# fresh Debian 12 (a minimal root made by debootstrap in a throw-away folder), which must pull
# every package the program needs; then vidorel-capture --list, a short capture, the window
# started and closed with no sound server and no camera, and an upgrade to a second package
# over the first that keeps the user's preferences. Run by hand (as root; it downloads about
# 300 MB and takes several minutes), not in CI.
#
#     bash scripts/package-check.sh [KEEP_DIR]
#
# With KEEP_DIR the root is made there and kept (a second run reuses it); otherwise it is made
# in a temporary folder and removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}

if [ "$(id -u)" -ne 0 ]; then
    echo "package-check: run as root (debootstrap and chroot need it)" >&2
    exit 2
fi
bash scripts/install-deps.sh
if ! command -v debootstrap >/dev/null; then
    apt-get install -y -qq --no-install-recommends debootstrap
fi
bash scripts/build.sh

# Two packages of the same version, release 1 then 2: the second installs as an upgrade.
(cd "$BUILD_DIR" && rm -f vidorel_*.deb &&
    cpack -G DEB -D CPACK_DEBIAN_PACKAGE_RELEASE=1 >/dev/null &&
    cpack -G DEB -D CPACK_DEBIAN_PACKAGE_RELEASE=2 >/dev/null)
first=$(ls "$BUILD_DIR"/vidorel_*-1_*.deb)
second=$(ls "$BUILD_DIR"/vidorel_*-2_*.deb)
echo "package-check: built $(basename "$first") and $(basename "$second")"
dpkg-deb -f "$first" Depends Recommends

if [ $# -ge 1 ]; then
    root=$(mkdir -p "$1" && cd "$1" && pwd)
    keep=1
else
    root=$(mktemp -d /tmp/vidorel-root-XXXXXX)
    keep=0
fi
mounted=()
cleanup() {
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount -l "${mounted[$i]}" 2>/dev/null || true
    done
    if [ "$keep" -eq 0 ]; then
        rm -rf "$root"
    fi
}
trap cleanup EXIT

if [ ! -x "$root/usr/bin/apt-get" ]; then
    echo "package-check: making a minimal Debian 12 in $root"
    debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$root.debootstrap.log" 2>&1 ||
        { tail -20 "$root.debootstrap.log"; exit 1; }
fi
for fs in proc sys dev; do
    mount --rbind "/$fs" "$root/$fs"
    mounted+=("$root/$fs")
done
cp "$first" "$second" "$root/tmp/"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

# A root kept from an earlier run starts again without the package and without the user.
in_root sh -c 'apt-get purge -y -qq vidorel >/dev/null 2>&1; userdel -r user >/dev/null 2>&1' || true
echo "package-check: apt-get install ./$(basename "$first")"
in_root apt-get update -qq
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "/tmp/$(basename "$first")" |
    tail -3
in_root useradd -m -G video user 2>/dev/null || true
as_user() {
    chroot "$root" env -i PATH=/usr/bin:/bin HOME=/home/user USER=user LANG=C.UTF-8 \
        XDG_RUNTIME_DIR=/tmp/user-runtime QT_QPA_PLATFORM=offscreen \
        setpriv --reuid=user --regid=user --init-groups "$@"
}
in_root install -d -o user -g user -m 700 /tmp/user-runtime

failures=0
check() {
    if "$@"; then echo "  ok: ${*: -1}"; else echo "  FAILED: $*"; failures=$((failures + 1)); fi
}
echo "package-check: as a user of the fresh system"
as_user vidorel --version
as_user vidorel-dvinfo --version
list=$(as_user vidorel-capture --list)
echo "$list" | sed 's/^/    /'
check grep -qx 'video: Vidorel Test Pattern' <<<"$list"
check grep -qx 'video: MPEG Encoder Card' <<<"$list"
check grep -qx 'format: DV type 2 (recomp)' <<<"$list"
as_user vidorel-capture --video "Vidorel Test Pattern" --audio "Vidorel Test Tone" \
    --format "DV type 2 (recomp)" --seconds 2 --output /tmp/check.avi | tail -1
check test "$(head -c 4 "$root/tmp/check.avi")" = RIFF
# Our elements are where Debian's GStreamer looks, with no GST_PLUGIN_PATH.
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    gstreamer1.0-tools >/dev/null
found=$(as_user gst-inspect-1.0 zv_scenedetect | awk '/^  Filename/{print $2}')
# (/lib is /usr/lib on Debian 12: compare the files, not the spellings.)
check test "$(in_root realpath "$found")" = \
    "$(in_root realpath "/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/gstreamer-1.0/libgstvidorel.so")"
# The window with no sound server, no display server and no camera: it must start on the
# virtual devices and close cleanly on SIGTERM, storing its preferences.
as_user sh -c 'vidorel >/tmp/window.log 2>&1 & pid=$!; sleep 8; kill -TERM $pid; wait $pid'
check test -f "$root/home/user/.config/vidorel/registry.reg"
echo "    window output: $(tr '\n' ' ' <"$root/tmp/window.log" | cut -c1-300)"

# The user's choice, then the upgrade: the preferences stay as they were and are still read
# (the DV deck chosen, --list offers the native DV formats).
store=$root/home/user/.config/vidorel/registry.reg
sed -i -e '/^"Source video"=/d' -e '/^"Source Audio"=/d' "$store"
sed -i 's/^\(\[HKEY_CURRENT_USER\\Software\\Marlott\\Vidorel\]\)\r\?$/\1\r\n"Source video"="DV Source - Video"\r\n"Source Audio"="DV Source - Audio"\r/' "$store"
check grep -q '^"Source video"="DV Source - Video"' "$store"
before=$(sha256sum <"$store")
echo "package-check: apt-get install ./$(basename "$second") (upgrade)"
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "/tmp/$(basename "$second")" |
    tail -3
check test "$(in_root dpkg-query -W -f='${Version}' vidorel)" = "$(dpkg-deb -f "$second" Version)"
check test "$(sha256sum <"$store")" = "$before"
list=$(as_user vidorel-capture --list)
check grep -qx 'format: DV type 1 native' <<<"$list"

if [ "$failures" -ne 0 ]; then
    echo "package-check: $failures check(s) failed"
    exit 1
fi
echo "package-check: all checks passed"
