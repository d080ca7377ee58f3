#!/usr/bin/env bash
# The demo of ./run demo: the service host's main job in a Wine prefix laid out like an
# installation. halvorin64.exe installs itself as the service "Halvorin", runs the Java
# server in a real JVM (the Linux OpenJDK behind the tests' bridge jvm.dll, since no
# Windows Java runtime exists here), stops it, is upgraded in place and removed again.
# Then the configurator krlxconfig64.exe installs the Java client's start script and
# shortcuts in the same prefix, shows its main dialog, whose Start (clicked by
# press_start.exe) starts the client through its shortcut, and removes its Start-menu
# group again. Last, the x64 Windows Installer package of dist/ is installed with msiexec
# and removed again.
# usage: demo.sh BUILD_DIR
set -uo pipefail
BUILD_DIR=$1
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WINE_DIR=$BUILD_DIR/wine
. "$ROOT/cmake/wine-env.sh"

step() { printf '\n\033[1m== %s\033[0m\n' "$1"; shift; [ $# -gt 0 ] && printf '   %s\n' "$@"; }
wine() { "$WINE64" "$@" 2>/dev/null | tr -d '\r'; }
state() {   # "RUNNING check point 0 wait hint 0 ms", from sc query
  local key colon value name text=""
  while read -r key colon value name _; do
    case $key in
    STATE) text="$name" ;;
    CHECKPOINT) text="$text check point $((value))" ;;
    WAIT_HINT) text="$text wait hint $((value)) ms" ;;
    esac
  done < <(wine sc query Halvorin)
  echo "$text"
}
wait_state() {   # state, seconds
  local i
  for i in $(seq 1 $((10 * $2))); do
    case $(state) in "$1"*) return 0 ;; esac
    sleep 0.1
  done
  return 1
}
log_since() { tail -c +$(($1 + 1)) "$LOG"; }

bash "$ROOT/cmake/wine-session.sh" start "$WINE_DIR" >/dev/null || exit 1
. "$ROOT/cmake/wine-env.sh"   # the session's DISPLAY, for the configurator's dialog
PRODUCT_WIN='C:\Program Files\Quorvane\Halvorin'
PRODUCT="$WINEPREFIX/drive_c/Program Files/Quorvane/Halvorin"
PROGRAM="$PRODUCT/halvorin"
SERVER="$PRODUCT/jre/bin/server"
LOG="$WINEPREFIX/drive_c/users/$(whoami)/.qzv/halvorin.log"
JAVA_LOG="$SERVER/java.log"
cleanup() {
  wine "$PROGRAM/halvorin64.exe" -r -q >/dev/null
  rm -rf "$PRODUCT"
  bash "$ROOT/cmake/wine-session.sh" stop "$WINE_DIR" >/dev/null
}
trap cleanup EXIT

step "An installation in the Wine prefix" \
  "program folder $PRODUCT_WIN\\halvorin with the deliverables of dist/," \
  "the Java server's jars in its lib folder, and in $PRODUCT_WIN\\jre the bridge jvm.dll that" \
  "runs the Linux OpenJDK 17 (named by halvorin.vm beside the program)."
rm -rf "$PRODUCT"
mkdir -p "$PROGRAM/lib" "$SERVER"
cp "$ROOT"/dist/halvorin.exe "$ROOT"/dist/halvorin64.exe "$ROOT"/dist/krlxmsg.dll "$ROOT"/dist/krlxmsg64.dll "$PROGRAM/"
cp "$BUILD_DIR"/tests/doubles/java_server/lib/*.jar "$PROGRAM/lib/"
cp "$BUILD_DIR/tests/doubles/bridge_jvm/jvm.dll" "$SERVER/"
printf '%s\\jre' "$PRODUCT_WIN" >"$PROGRAM/halvorin.vm"
(cd "$PRODUCT" && find . -type f | sort | sed 's/^\.\//   /')
start=$(stat -c %s "$LOG" 2>/dev/null || echo 0)

step "halvorin64.exe -i: install the service" \
  "The 64-bit jvm.dll decides the 64-bit registration: halvorin64.exe, krlxmsg64.dll."
wine "$PROGRAM/halvorin64.exe" -i
wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\Halvorin' | grep -E 'ImagePath|DisplayName|Start|Type|ErrorControl'
wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Halvorin' | grep -E 'EventMessageFile|TypesSupported'
# Stored start parameters: the Java server is to take six seconds to end after the stop.
wine reg add 'HKLM\SYSTEM\CurrentControlSet\Services\Halvorin\Parameters' /v AppParameters \
  /d '-Dlauncher.stop_delay_ms=6000' /f >/dev/null
java_start=$(stat -c %s "$JAVA_LOG" 2>/dev/null || echo 0)

step "net start Halvorin" "Wine's net returns while the service is still starting; we poll its state."
wine net start Halvorin >/dev/null
wait_state RUNNING 20 || { echo "the service did not reach RUNNING"; exit 1; }
echo "   state: $(state)"

step "The Java server runs in the JVM of the service" \
  "Its own output (java.log beside jvm.dll): the arguments and VM options halvorin built."
for _ in $(seq 1 600); do
  grep -q '^launcher: running' "$JAVA_LOG" 2>/dev/null && break
  sleep 0.1
done
# One class path entry a line.
tail -c +$((java_start + 1)) "$JAVA_LOG" | sed '/^launcher: java.class.path = /s/:/\n        /2g; s/^/   /'
wine reg query 'HKLM\Software\Quorvane\Halvorin' /v ProcessID | grep ProcessID

step "net stop Halvorin" \
  "STOP_PENDING with a wait hint that grows by 8000 ms every 5 s until the server has ended."
wine net stop Halvorin >/dev/null
last=""
for _ in $(seq 1 200); do
  now=$(state)
  [ "$now" != "$last" ] && echo "   state: $now"
  last=$now
  case $now in STOPPED*) break ;; esac
  sleep 0.1
done
wine reg query 'HKLM\Software\Quorvane\Halvorin' /v ProcessID | grep ProcessID

step "The Java server's output since the stop"
mark=$(grep -n '^launcher: running' <(tail -c +$((java_start + 1)) "$JAVA_LOG") | cut -d: -f1)
tail -c +$((java_start + 1)) "$JAVA_LOG" | tail -n +$((mark + 1)) | sed 's/^/   /'

step "halvorin.log: the run and the stop sequence, with the JVM's thread dump" \
  "(of the dump only its heading and the thread \"main\", which runs launcher.main, are shown here)"
log_since "$start" | grep -vE '^\[[0-9:]+\] (options|args)\[' | awk '
  /stack dump:$/ { dump = 1; line = 0; skipped = 0; print "   " $0; next }
  dump && /^\[[0-9:]+\] / { printf "   [... %d more lines of the dump]\n", skipped; dump = 0 }
  dump {
    line++
    if (/^"main" #/) { main = 1; print "   [...]" }
    else if (main && $0 == "") main = 0
    if (line <= 2 || main) print "   " $0; else skipped++
    next
  }
  { print "   " $0 }'

step "halvorin64.exe -x: upgrade in place, keeping the administrator's start mode" \
  "The start mode is set to automatic (2) first; -x rewrites the registration but keeps it."
wine reg add 'HKLM\SYSTEM\CurrentControlSet\Services\Halvorin' /v Start /t REG_DWORD /d 2 /f >/dev/null
mark=$(stat -c %s "$LOG")
wine "$PROGRAM/halvorin64.exe" -x
log_since "$mark" | sed 's/^/   /'
wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\Halvorin' /v Start | grep Start

step "halvorin64.exe -r: stop and remove the service"
mark=$(stat -c %s "$LOG")
wine "$PROGRAM/halvorin64.exe" -r
log_since "$mark" | sed 's/^/   /'
wine sc query Halvorin | grep -q STATE && echo "   the service is still registered" || echo "   the service is gone"

# ---- The configurator, as an administrator meets it after the product's installer ----
CONFIG_WIN='C:\Program Files\Quorvane\Corvalis\krlxconfig'
CONFIG_ROOT="$WINEPREFIX/drive_c/Program Files/Quorvane/Corvalis"
CONFIG="$CONFIG_ROOT/krlxconfig"
PROGRAMS="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
PROGRAMS_WIN='C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
DESKTOP_WIN='C:\users\Public\Desktop'
UNINSTALL='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
config_cleanup() {
  rm -rf "$CONFIG_ROOT" "$PROGRAMS/QZV" "$WINEPREFIX/drive_c/users/Public/Desktop/Corvalis.lnk"
  for entry in 'QZV CorvalisJE 6' 'Corvalis Client JE 5' 'Corvalis and Halvorin' 'CorvalisJE'; do
    wine reg delete "$UNINSTALL\\$entry" /f >/dev/null
  done
  wine reg delete 'HKLM\SOFTWARE\Quorvane\Corvalis' /f >/dev/null
}
trap 'config_cleanup; cleanup' EXIT
config_cleanup

step "The client's product folder" \
  "krlxconfig64.exe in $CONFIG_WIN, a Java runtime beside it in its jre folder (the tests'" \
  "small PE program as java.exe and javaw.exe), and uninstall entries of older clients."
mkdir -p "$CONFIG/jre/bin"
cp "$BUILD_DIR/krlxconfig/krlxconfig64.exe" "$CONFIG/"
cp "$BUILD_DIR/tests/doubles/tiny_java/tiny_java.exe" "$CONFIG/jre/bin/java.exe"
cp "$BUILD_DIR/tests/doubles/tiny_java/tiny_java.exe" "$CONFIG/jre/bin/javaw.exe"
(cd "$CONFIG_ROOT" && find . -type f | sort | sed 's/^\.\//   /')
for entry in 'Corvalis Client JE 5' 'Corvalis and Halvorin' 'CorvalisJE'; do
  wine reg add "$UNINSTALL\\$entry" /v DisplayName /d "$entry" /f >/dev/null
done
wine reg query "$UNINSTALL" | grep -i corvalis | sed 's/^/   /'

step "krlxconfig64.exe /install" \
  "Cleans the uninstall entries, chooses the runtime beside the program, writes the start" \
  "script, makes the shortcuts and stores the choice. The exit code is 1 when the Start-menu links were made."
"$WINE64" "$CONFIG/krlxconfig64.exe" /install 2>/dev/null
echo "   exit code $?"
wine reg query 'HKLM\SOFTWARE\Quorvane\Corvalis' | grep JavaExe

step "The start script Corvalis.bat" "It runs the console java.exe; the links run javaw.exe."
sed 's/^/   /' "$CONFIG/Corvalis.bat"; echo

step "The shortcuts, as the shell reads them back" \
  "Wine reads the documentation link's web address as a path below the current folder; Windows keeps it."
links=()
while IFS= read -r f; do links+=("$PROGRAMS_WIN\\${f//\//\\}"); done < <(cd "$PROGRAMS" && find QZV -name '*.lnk' | sort)
links+=("$CONFIG_WIN\\Corvalis.lnk" "$DESKTOP_WIN\\Corvalis.lnk")
wine "$BUILD_DIR/tests/krlxconfig/read_links.exe" "${links[@]}" | sed 's/^/   /'

step "The uninstall entries" \
  "\"Corvalis Client JE 5\" and \"Corvalis and Halvorin\" are gone; \"CorvalisJE\" is kept, \"QZV CorvalisJE 6\" is the client's own."
wine reg query "$UNINSTALL" | grep -i corvalis | sed 's/^/   /'

step "krlxconfig64.exe: the main dialog, then Start Corvalis" \
  "What a client user meets: the configurator without an option finds the runtime beside it," \
  "shows it with the heap size, and Start saves both, rewrites the script and the shortcuts" \
  "and starts the client through Corvalis.lnk (here the small program, which records its command line)."
CONFIG_LOG="$WINEPREFIX/drive_c/users/$(whoami)/Temp/krlxconfig.log"
JOURNAL="$CONFIG_ROOT/client.journal"
rm -f "$JOURNAL"
mark=$(stat -c %s "$CONFIG_LOG" 2>/dev/null || echo 0)
TINY_JAVA_JOURNAL="C:\\Program Files\\Quorvane\\Corvalis\\client.journal" \
  "$WINE64" "$CONFIG/krlxconfig64.exe" </dev/null >/dev/null 2>&1 &
configurator=$!
wine "$BUILD_DIR/tests/krlxconfig/press_start.exe" | sed 's/^/   /'
wait $configurator
echo "   krlxconfig64.exe ended with exit code $?"
for _ in $(seq 1 100); do [ -s "$JOURNAL" ] && break; sleep 0.1; done
echo "   the client was started as:"
tr -d '\r' <"$JOURNAL" | sed 's/^/     /'
echo "   the configurator log says:"
tail -c +$((mark + 1)) "$CONFIG_LOG" | tr -d '\r' | grep -E 'JRE = |replaced batch file' | sed 's/^[[:space:]]*/     /'

step "krlxconfig64.exe /remove" "Deletes the Start-menu group QZV; the script, the settings and the desktop link stay."
"$WINE64" "$CONFIG/krlxconfig64.exe" /remove 2>/dev/null
echo "   exit code $?"
[ -d "$PROGRAMS/QZV" ] && echo "   the group QZV is still there" || echo "   the group QZV is gone"

# ---- The Windows Installer package, as an administrator deploys the product ----
config_cleanup
MSI=$(ls "$ROOT"/dist/Corvalis-Halvorin-*-x64.msi)
MSI_WIN="Z:${MSI//\//\\}"
MSI_ROOT="$WINEPREFIX/drive_c/Program Files/Quorvane/Corvalis"
JRE_KEY='HKLM\SOFTWARE\JavaSoft\Java Runtime Environment'
msiexec() {   # prints the exit code as Windows sees it and the time taken
  local start code
  start=$(date +%s%N)
  code=$(wine cmd /v:on /c "msiexec $* & echo !errorlevel!" | tail -n 1)
  printf '   exit code %s, %d ms\n' "$code" $((($(date +%s%N) - start) / 1000000))
}
trap 'msiexec /x "$MSI_WIN" /qn >/dev/null; wine reg delete "$JRE_KEY" /f >/dev/null; config_cleanup; cleanup' EXIT
step "msiexec /i $(basename "$MSI") /qn" \
  "The package of dist/ installed silently, as a script or Group Policy does, on a machine whose" \
  "registered Java runtime is 64-bit (the stand-in jvm.dll): its files, then halvorin64.exe -x -q" \
  "registers the service. The configurator's step cannot run here (32-bit) and the install goes on."
wine reg add "$JRE_KEY" /v CurrentVersion /d 1.8 /f >/dev/null
wine reg add "$JRE_KEY\\1.8" /v RuntimeLib /d "Z:${BUILD_DIR//\//\\}\\tests\\doubles\\standin_jvm\\jvm.dll" /f >/dev/null
msiexec /i "$MSI_WIN" /qn
(cd "$MSI_ROOT" && find . | sort | sed 's/^\.\//   /; /^\.$/d')
wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\Halvorin' | grep -E 'ImagePath|DisplayName|Start'
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s |
  awk '/^HKEY/ { ours = 0 } /DisplayName .* QZV Corvalis and Halvorin/ { ours = 1 }
    ours && /DisplayName|DisplayVersion|Publisher|HelpLink|InstallLocation/' | sed 's/^ */   Programs and Features: /'

step "msiexec /x $(basename "$MSI") /qn" "Stops and removes the service (-r -q) and removes the files and folders."
msiexec /x "$MSI_WIN" /qn
[ -e "$MSI_ROOT" ] && echo "   the product folder is still there" || echo "   the product folder is gone"
wine sc query Halvorin | grep -q STATE && echo "   the service is still registered" || echo "   the service is gone"
wine reg delete "$JRE_KEY" /f >/dev/null

printf '\nThe configurator log: %s\n' "$WINEPREFIX/drive_c/users/$(whoami)/Temp/krlxconfig.log"
printf '\nThe diagnostic log: %s\nThe Wine prefix:    %s\n' "$LOG" "$WINEPREFIX"
echo "The demo removes its installations and stops the Wine session when it ends."
