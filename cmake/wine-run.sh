#!/usr/bin/env bash
# The ctest emulator: runs a Windows test program under wine64 in the build's prefix.
# usage: wine-run.sh WINE_DIR PROGRAM.exe [ARGS...]
# Wine writes its trace lines (WINEDEBUG) to the unix standard error of the process,
# which child processes share with their parent whatever their Windows handles say.
# So the program's standard error goes to a file that it can read back through
# HALVORIN_TEST_STDERR (Windows path); the file is shown afterwards and removed.
WINE_DIR=$1
shift
. "$(dirname "$0")/wine-env.sh"
mkdir -p "$WINE_DIR/stderr"
err_file="$WINE_DIR/stderr/$(basename "$1" .exe)-$$.txt"
export HALVORIN_TEST_STDERR="Z:${err_file//\//\\}"
"$WINE64" "$@" 2>"$err_file"
status=$?
cat "$err_file" >&2
rm -f "$err_file"
exit $status
