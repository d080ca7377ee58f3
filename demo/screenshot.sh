#!/usr/bin/env bash
# The picture of ./run screenshot: the real krlxconfig64.exe started as a user starts it,
# in a product folder with a Java runtime beside it, on a Wine desktop of its own under
# Xvfb (Wine draws the window frames itself there). The dialog is captured once it stops
# changing and saved, cut to the dialog, as docs/krlxconfig-dialog.png.
# usage: screenshot.sh BUILD_DIR
set -uo pipefail
BUILD_DIR=$1
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WINE_DIR=$BUILD_DIR/wine
. "$ROOT/cmake/wine-env.sh"
OUT=$ROOT/docs/krlxconfig-dialog.png
DESKTOP_SIZE=640x420

bash "$ROOT/cmake/wine-session.sh" start "$WINE_DIR" >/dev/null || exit 1
. "$ROOT/cmake/wine-env.sh"   # the session's DISPLAY
CONFIG_ROOT="$WINEPREFIX/drive_c/Program Files/Quorvane/Corvalis"
CONFIG="$CONFIG_ROOT/krlxconfig"
SHOTS=$(mktemp -d)
settings() { "$WINE64" reg delete "$1\\SOFTWARE\\Quorvane\\Corvalis" /f >/dev/null 2>&1; }
cleanup() {
  settings HKLM
  settings HKCU
  bash "$ROOT/cmake/wine-session.sh" stop "$WINE_DIR" >/dev/null   # ends the configurator too
  rm -rf "$CONFIG_ROOT" "$SHOTS"
}
trap cleanup EXIT

# A fresh user: no stored choice, so the dialog shows what discovery found.
settings HKLM
settings HKCU
rm -rf "$CONFIG_ROOT"
mkdir -p "$CONFIG/jre/bin"
cp "$BUILD_DIR/krlxconfig/krlxconfig64.exe" "$CONFIG/"
cp "$BUILD_DIR/tests/doubles/tiny_java/tiny_java.exe" "$CONFIG/jre/bin/java.exe"
cp "$BUILD_DIR/tests/doubles/tiny_java/tiny_java.exe" "$CONFIG/jre/bin/javaw.exe"

"$WINE64" explorer "/desktop=Corvalis,$DESKTOP_SIZE" \
  'C:\Program Files\Quorvane\Corvalis\krlxconfig\krlxconfig64.exe' </dev/null >/dev/null 2>&1 &

# The desktop's picture, every half second, until two in a row are the same and show more
# than the bare desktop (a dialog has many colours; the empty desktop one or two).
previous=""
for i in $(seq 1 120); do
  sleep 0.5
  shot="$SHOTS/$i.png"
  import -display "$DISPLAY" -window root -crop "$DESKTOP_SIZE+0+0" +repage "$shot" 2>/dev/null || continue
  colours=$(convert "$shot" -format %k info: 2>/dev/null || echo 0)
  if [ -n "$previous" ] && [ "$colours" -gt 16 ] && cmp -s <(convert "$previous" rgb:-) <(convert "$shot" rgb:-); then
    convert "$shot" -trim +repage "$OUT" && { echo "saved $OUT ($(identify -format %wx%h "$OUT"))"; exit 0; }
  fi
  previous=$shot
done
echo "the configurator's dialog did not appear" >&2
exit 1
