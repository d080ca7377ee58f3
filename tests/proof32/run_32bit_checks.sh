#!/usr/bin/env bash
# Runs the 32-bit deliverables for real, in the emulated guest of ../shared/proof32 that
# has 32-bit Wine: halvorin.exe handing -i and -r to halvorin64.exe under WOW64, the
# 32-bit JVM host driving the 32-bit stand-in VM (stdcall JNI, the decorated dump export),
# xstop.exe, and krlxconfig.exe writing out and running its embedded 64-bit build. Slow
# (several minutes) and optional: never part of ./run test.
# usage: tests/proof32/run_32bit_checks.sh   (after ./run build)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
PROOF32=${PROOF32:-$ROOT/../shared/proof32}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/prod/halvorin" "$work/prod/jre64/bin/server" "$work/prod/jre32/bin/server"
cp "$ROOT"/dist/{halvorin.exe,halvorin64.exe,krlxmsg.dll,krlxmsg64.dll,xstop.exe,krlxconfig.exe} "$work/prod/halvorin/"
cp "$ROOT/build/x86_64/tests/doubles/standin_jvm/jvm.dll" "$work/prod/jre64/bin/server/"
cp "$ROOT/build/i686/tests/doubles/standin_jvm/jvm.dll" "$work/prod/jre32/bin/server/"
cp "$(dirname "$0")/guest_checks.sh" "$work/"
"$PROOF32/run-in-guest.sh" "$work" 'sh ./guest_checks.sh'
