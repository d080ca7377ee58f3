#!/usr/bin/env bash
# Console mode with the real JVM: halvorin64.exe -c runs the Java server in the Linux
# JVM through the bridge jvm.dll; a Ctrl-C to the Wine process's whole process group (as
# a terminal sends it) reaches halvorin's console control handler as CTRL_C, but not the
# JVM, which the bridge starts in a session of its own: the stop must reach Java
# through dispatchSCMEvent and the JVM must then end with the host.
# usage: console_bridge.sh WINE_DIR DIST_DIR BRIDGE_JVM JAVA_SERVER_LIB
set -u
WINE_DIR=$1 DIST_DIR=$2 BRIDGE_JVM=$3 JAVA_SERVER_LIB=$4
. "$(dirname "$0")/../../cmake/wine-env.sh"
fail() { echo "FAIL: $*"; status=1; }
status=0

product="$WINEPREFIX/drive_c/users/$(whoami)/Temp/hvt-bridge-console-$$"
server="$product/jre/bin/server"
rm -rf "$product"
mkdir -p "$product/halvorin/lib" "$server"
trap 'rm -rf "$product"' EXIT
cp "$DIST_DIR/halvorin64.exe" "$product/halvorin/"
cp "$JAVA_SERVER_LIB"/*.jar "$product/halvorin/lib/"
cp "$BRIDGE_JVM" "$server/jvm.dll"
printf 'C:\\users\\%s\\Temp\\hvt-bridge-console-%s\\jre' "$(whoami)" "$$" >"$product/halvorin/halvorin.vm"
output="$server/java.log"
log="$WINEPREFIX/drive_c/users/$(whoami)/.qzv/halvorin.log"
start=$(stat -c %s "$log" 2>/dev/null || echo 0)

# Job control gives the Wine process a process group of its own to send the Ctrl-C to.
set -m
"$WINE64" "$product/halvorin/halvorin64.exe" -c >/dev/null 2>&1 &
pid=$!
set +m
for _ in $(seq 1 600); do
  grep -q '^launcher: running until the service stops$' "$output" 2>/dev/null && break
  sleep 0.1
done
grep -q '^launcher: running until the service stops$' "$output" || fail "the Java server did not start"
jvm=$(sed -n 's/^jvmbridge: JVM \([0-9]*\) serves the host.*/\1/p' "$output" | tail -1)
[ -n "$jvm" ] || fail "no JVM process id in java.log"
kill -INT -- "-$pid"
for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then
  fail "halvorin64.exe -c still runs 30 s after CTRL_C"
  kill -9 "$pid"
fi
wait "$pid"
code=$?
[ "$code" -eq 0 ] || fail "exit code $code"
for _ in $(seq 1 300); do [ -d "/proc/$jvm" ] || break; sleep 0.1; done
[ -d "/proc/$jvm" ] && fail "the JVM $jvm still runs after the host ended"

java=$(cat "$output")
grep -q '^SCMEventManager: event 1 (service stop) on thread "Thread-[0-9]*"$' <<<"$java" ||
  fail "JS_SERVICE_STOPPED did not reach Java"
grep -q '^launcher: main returns$' <<<"$java" || fail "launcher.main did not return"
grep -q 'the host process is gone' <<<"$java" && fail "the JVM ended before DestroyJavaVM"
grep -qE 'WARNING in native method|fatal error' <<<"$java" && fail "the JVM saw a JNI rule broken"

records=$(tail -c +$((start + 1)) "$log")
expected=("Running QZV Halvorin Server." "starting Java main()..." "stack dump:"
  "Full thread dump OpenJDK 64-Bit Server VM" "unloaded JVM DLL" "JVM thread finished" "ServiceStart() finished")
rest=$records
for line in "${expected[@]}"; do
  case $rest in
  *"$line"*) rest=${rest#*"$line"} ;;
  *) fail "missing or out of order in halvorin.log: $line" ;;
  esac
done

[ $status -eq 0 ] && echo "console mode with the real JVM stopped by Ctrl-C: passed"
[ $status -eq 0 ] || { echo "--- java.log"; echo "$java"; echo "--- halvorin.log"; echo "$records"; }
exit $status
