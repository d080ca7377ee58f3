#!/usr/bin/env bash
# Starts and stops the Wine session that a test run shares.
#   start WINE_DIR  make the prefix on first use, keep one wineserver alive (-p) for the
#                   whole run, start Xvfb for windows and message boxes
#   stop WINE_DIR   stop the services, the wineserver and Xvfb
# The session is started with the event-log trace on: services write their stdout and
# stderr, and Wine's eventlog trace lines, to WINE_DIR/session.log.
set -u
WINE_DIR=$2
. "$(dirname "$0")/wine-env.sh"

start_xvfb() {
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >"$WINE_DIR/xvfb.log" 2>&1 &
    echo $! >"$WINE_DIR/xvfb.pid"
    for _ in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && { echo ":$n" >"$WINE_DIR/display"; return 0; }
      sleep 0.1
    done
    kill "$(cat "$WINE_DIR/xvfb.pid")" 2>/dev/null
  done
  echo "could not start Xvfb" >&2
  return 1
}

stop_session() {
  "$WINESERVER" -k 2>/dev/null
  "$WINESERVER" -w 2>/dev/null
  if [ -f "$WINE_DIR/xvfb.pid" ]; then
    kill "$(cat "$WINE_DIR/xvfb.pid")" 2>/dev/null
    rm -f "$WINE_DIR/xvfb.pid" "$WINE_DIR/display"
  fi
}

case $1 in
start)
  mkdir -p "$WINE_DIR" "$HOME"
  stop_session   # leftovers of an interrupted run
  start_xvfb || exit 1
  DISPLAY=$(cat "$WINE_DIR/display")
  export DISPLAY
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$WINE64" wineboot -i </dev/null >"$WINE_DIR/wineboot.log" 2>&1
    "$WINESERVER" -k 2>/dev/null
    "$WINESERVER" -w 2>/dev/null
    echo "made Wine prefix $WINEPREFIX"
  fi
  # Debian's Wine does not look in /usr/share/wine/fonts (fonts-wine: Tahoma, Marlett and
  # the others Windows has); the prefix's own Fonts folder holds them, as on Windows.
  if [ -d /usr/share/wine/fonts ]; then
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
  fi
  "$WINESERVER" -p >/dev/null 2>&1 </dev/null
  # The first program of the session starts services.exe, whose services inherit its
  # standard error. A plain program, not "wineboot -i": on an existing prefix wineboot
  # starts a driver host that can hold the Service Control Manager's start lock for ten
  # seconds, and StartService then fails with ERROR_SERVICE_DATABASE_LOCKED.
  WINEDEBUG=-all,+eventlog "$WINE64" cmd /c exit 0 </dev/null >"$WINE_DIR/session.log" 2>&1
  echo "Wine session ready (DISPLAY=$DISPLAY)"
  ;;
stop)
  stop_session
  echo "Wine session stopped"
  ;;
*)
  echo "usage: wine-session.sh start|stop WINE_DIR" >&2
  exit 2
  ;;
esac
