#!/usr/bin/env bash
# Runs the 32-bit deliverables for real, in the emulated guest of ../shared/proof32 that
# has 32-bit Wine: halvorin.exe handing -i and -r to halvorin64.exe under WOW64, the
# 32-bit JVM host driving the 32-bit stand-in VM (stdcall JNI, the decorated dump export),
# xstop.exe, krlxconfig.exe writing out and running its embedded 64-bit build, and the
# x64 package installed and removed by msiexec with its 32-bit configurator step. Slow
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
cp "$(dirname "$0")/guest_checks.sh" "$ROOT/build/x86_64/tests/krlxconfig/read_links.exe" "$work/"
# The package, with a Java runtime beside the configurator for its /install.
mkdir -p "$work/payload/krlxconfig/jre/bin"
for exe in java.exe javaw.exe; do cp "$ROOT/build/x86_64/tests/doubles/tiny_java/tiny_java.exe" "$work/payload/krlxconfig/jre/bin/$exe"; done
CORVALIS_MSI_PAYLOAD=$work/payload bash "$ROOT/installer/build_msi.sh" x64 "$(cat "$ROOT/VERSION")" "$ROOT/dist" \
  "$ROOT/build/i686/krlxconfig/krlxconfig_window.ico" "$work/prod/corvalis.msi"
rm -rf "$work/payload"
"$PROOF32/run-in-guest.sh" "$work" 'sh ./guest_checks.sh'
