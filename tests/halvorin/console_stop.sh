#!/usr/bin/env bash
# Console mode stopped by CTRL_C: halvorin64.exe -c runs the stand-in Java server in
# the foreground; a unix SIGINT to the Wine process reaches the console control handler
# as CTRL_C (there is no console in the test harness to raise it the Windows way).
# usage: console_stop.sh WINE_DIR DIST_DIR STANDIN_JVM
set -u
WINE_DIR=$1 DIST_DIR=$2 STANDIN_JVM=$3
. "$(dirname "$0")/../../cmake/wine-env.sh"
fail() { echo "FAIL: $*"; status=1; }
status=0

product="$WINEPREFIX/drive_c/users/$(whoami)/Temp/hvt-console-$$"
server="$product/jre/bin/server"
rm -rf "$product"
mkdir -p "$product/halvorin" "$server"
trap 'rm -rf "$product"' EXIT
cp "$DIST_DIR/halvorin64.exe" "$product/halvorin/"
cp "$STANDIN_JVM" "$server/jvm.dll"
printf 'C:\\users\\%s\\Temp\\hvt-console-%s\\jre' "$(whoami)" "$$" >"$product/halvorin/halvorin.vm"
printf 'main = until-stop\n' >"$server/standin.script"
log="$WINEPREFIX/drive_c/users/$(whoami)/.qzv/halvorin.log"
start=$(stat -c %s "$log" 2>/dev/null || echo 0)

"$WINE64" "$product/halvorin/halvorin64.exe" -c >/dev/null 2>&1 &
pid=$!
for _ in $(seq 1 100); do
  grep -q '^[0-9]* main argc=' "$server/standin.journal" 2>/dev/null && break
  sleep 0.1
done
grep -q '^[0-9]* main argc=2$' "$server/standin.journal" || fail "the Java server did not start"
kill -INT "$pid"
for _ in $(seq 1 150); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then
  fail "halvorin64.exe -c still runs 15 s after CTRL_C"
  kill -9 "$pid"
fi
wait "$pid"
code=$?
[ "$code" -eq 0 ] || fail "exit code $code"

journal=$(cat "$server/standin.journal")
grep -q ' dispatchSCMEvent 1$' <<<"$journal" || fail "JS_SERVICE_STOPPED was not dispatched"
grep -q ' DestroyJavaVM -> 0$' <<<"$journal" || fail "the VM was not destroyed"
grep -qE ' (unexpected|misuse) ' <<<"$journal" && fail "the VM saw calls it must not see"

records=$(tail -c +$((start + 1)) "$log")
expected=("Running QZV Halvorin Server." "ServiceStart(0 args)"
  "hStopRequest Event received; waiting for JVM thread to finish" "stack dump:"
  "JVM thread finished" "ServiceStart() finished")
rest=$records
for line in "${expected[@]}"; do
  case $rest in
  *"$line"*) rest=${rest#*"$line"} ;;
  *) fail "missing or out of order in halvorin.log: $line" ;;
  esac
done
grep -q 'SetServiceStatus(' <<<"$records" && fail "console mode reported a service status"

value=$("$WINE64" reg query 'HKLM\Software\Quorvane\Halvorin' /v ProcessID 2>/dev/null | tr -d '\r' |
  awk '/ProcessID/ {print $3}')
[ "$value" = "0x0" ] || fail "ProcessID is '$value' after the run, not 0"

[ $status -eq 0 ] && echo "console mode stopped by CTRL_C: passed"
exit $status
