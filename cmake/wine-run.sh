#!/usr/bin/env bash
# The ctest emulator: runs a Windows test program under wine64 in the build's prefix.
# usage: wine-run.sh WINE_DIR PROGRAM.exe [ARGS...]
# Wine writes its trace lines (WINEDEBUG) to the unix standard error of the process,
# which child processes share with their parent whatever their Windows handles say.
# So the program's standard error goes to a file that it can read back through
# HALVORIN_TEST_STDERR (Windows path); the file is shown afterwards and removed.
# A stack overflow can end a program under Wine with exit code 0 and no word, so a test
# program passes only when GoogleTest has also written its report at the end of the run.
# WINE_RUN_PLAIN=1 runs a program that is not a GoogleTest program (the benchmarks).
WINE_DIR=$1
shift
. "$(dirname "$0")/wine-env.sh"
mkdir -p "$WINE_DIR/stderr"
run_name="$(basename "$1" .exe)-$$"
err_file="$WINE_DIR/stderr/$run_name.txt"
report_file="$WINE_DIR/stderr/$run_name.xml"
export HALVORIN_TEST_STDERR="Z:${err_file//\//\\}"
export GTEST_OUTPUT="xml:Z:${report_file//\//\\}"
rm -f "$report_file"
"$WINE64" "$@" 2>"$err_file"
status=$?
cat "$err_file" >&2
if [ -z "${WINE_RUN_PLAIN:-}" ] && [ $status -eq 0 ] && [ ! -s "$report_file" ]; then
  echo "$(basename "$1") ended with exit code 0 but without GoogleTest's report: it crashed" >&2
  status=1
fi
rm -f "$err_file" "$report_file"
exit $status
