#!/usr/bin/env bash
# The demo of ./run demo: halvorin64.exe at work in a private Wine prefix.
# usage: demo.sh BUILD_DIR
set -uo pipefail
BUILD_DIR=$1
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WINE_DIR=$BUILD_DIR/wine
. "$ROOT/cmake/wine-env.sh"
step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }

bash "$ROOT/cmake/wine-session.sh" start "$WINE_DIR" >/dev/null || exit 1
trap 'bash "$ROOT/cmake/wine-session.sh" stop "$WINE_DIR" >/dev/null' EXIT
PROGRAM_DIR="$WINEPREFIX/drive_c/Program Files/Quorvane/Halvorin/halvorin"
mkdir -p "$PROGRAM_DIR"
cp "$ROOT"/dist/halvorin64.exe "$ROOT"/dist/krlxmsg64.dll "$PROGRAM_DIR/"
LOG="$WINEPREFIX/drive_c/users/$(whoami)/.qzv/halvorin.log"
start=$(stat -c %s "$LOG" 2>/dev/null || echo 0)

step "halvorin64.exe -h prints its usage"
"$WINE64" "$PROGRAM_DIR/halvorin64.exe" -h | tr -d '\r'

step "an unknown option is named, then the usage follows"
"$WINE64" "$PROGRAM_DIR/halvorin64.exe" -q | tr -d '\r' | head -n 3

step "ProcessID after a command-line run (0: no halvorin is running)"
"$WINE64" reg query 'HKLM\Software\Quorvane\Halvorin' /v ProcessID 2>/dev/null | tr -d '\r' | grep ProcessID

step "what the runs wrote to halvorin.log"
tail -c +$((start + 1)) "$LOG"

printf '\nlog: %s\nprefix: %s\n' "$LOG" "$WINEPREFIX"
