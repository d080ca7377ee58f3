#!/usr/bin/env bash
# Runs every benchmark program of the 64-bit tree under Wine and prints its figures.
# usage: run-bench.sh BUILD_DIR
set -uo pipefail
BUILD_DIR=$1
CMAKE_DIR=$(cd "$(dirname "$0")/../cmake" && pwd)
WINE_DIR=$BUILD_DIR/wine
bash "$CMAKE_DIR/wine-session.sh" start "$WINE_DIR" >/dev/null || exit 1
trap 'bash "$CMAKE_DIR/wine-session.sh" stop "$WINE_DIR" >/dev/null' EXIT
status=0
for bench in "$BUILD_DIR"/bench/bench_*.exe; do
  echo "== $(basename "$bench" .exe)"
  WINE_RUN_PLAIN=1 bash "$CMAKE_DIR/wine-run.sh" "$WINE_DIR" "$bench" || status=1
  echo
done
exit $status
