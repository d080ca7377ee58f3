#!/bin/sh
# Runs inside the proof32 guest (32-bit and 64-bit Wine), in the shared folder that
# run_32bit_checks.sh prepared. Prints CHECK lines; exit 0 only when all pass.
export WINEPREFIX=${WINEPREFIX:-/root/.wine}
fails=0
check() { if eval "$2"; then echo "CHECK ok: $1"; else echo "CHECK FAILED: $1"; fails=$((fails + 1)); fi; }
wine wineboot --init >/dev/null 2>&1
wineserver -w
# Run from the guest's own disk: Wine maps PE images with mmap, and pages of larger
# images mapped from the 9p share read back as zeros.
here="$WINEPREFIX/drive_c/proof"
rm -rf "$here"
mkdir -p "$here"
cp -r prod "$here/"
program="$here/prod/halvorin"
winprog='C:\proof\prod\halvorin'
log="$WINEPREFIX/drive_c/users/root/.qzv/halvorin.log"

# 1. The 32-bit build runs and prints its usage.
wine "$program/halvorin.exe" -h >usage.txt 2>/dev/null
check "halvorin.exe -h prints the usage" "grep -q 'This program is NT service' usage.txt"

# 2. -i in the 32-bit build is handed to halvorin64.exe (a 64-bit VM is configured).
printf 'C:\\proof\\prod\\jre64' >"$program/halvorin.vm"
: >"$log"
wine "$program/halvorin.exe" -i -q >/dev/null 2>&1
wineserver -w
check "the 32-bit process forks the 64-bit twin" \
  "grep -qF 'this is 64-bit system. forking $winprog\\halvorin64.exe...' '$log'"
check "the twin ran the install" "grep -q 'halvorin64.exe -i -q' '$log' && grep -q 'QZV Halvorin Server installed.' '$log'"
wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\Halvorin' /v ImagePath >image.txt 2>/dev/null
check "the service is registered in the 64-bit view with halvorin64.exe" "grep -q 'halvorin64.exe' image.txt"
# The hive file writes each backslash of a key name twice.
check "the 32-bit ProcessID stays in the 32-bit view" \
  "grep -F -A2 '[Software\\\\Wow6432Node\\\\Quorvane\\\\Halvorin]' '$WINEPREFIX/system.reg' | grep -q 'ProcessID'"

# 3. The 32-bit JVM host with the 32-bit stand-in VM, in console mode, stopped by CTRL_C.
printf 'C:\\proof\\prod\\jre32' >"$program/halvorin.vm"
printf 'main = until-stop\n' >"$here/prod/jre32/bin/server/standin.script"
journal="$here/prod/jre32/bin/server/standin.journal"
: >"$log"
wine "$program/halvorin.exe" -c >/dev/null 2>&1 &
pid=$!
i=0
while [ $i -lt 600 ] && ! grep -q ' main argc=2' "$journal" 2>/dev/null; do sleep 0.5; i=$((i + 1)); done
check "the 32-bit host starts main in the 32-bit VM" "grep -q ' main argc=2' '$journal'"
kill -INT $pid
i=0
while [ $i -lt 600 ] && kill -0 $pid 2>/dev/null; do sleep 0.5; i=$((i + 1)); done
check "CTRL_C ends console mode" "! kill -0 $pid 2>/dev/null"
check "the decorated dump export was found and called" "grep -q ' JVM_DumpAllStacks -> ' '$journal'"
check "the stack dump is in the log" "grep -q 'stack dump:' '$log'"
check "JS_SERVICE_STOPPED reached the server" "grep -q ' dispatchSCMEvent 1' '$journal'"
check "the VM was destroyed" "grep -q ' DestroyJavaVM -> 0' '$journal'"
check "the VM saw no call it must not see" "! grep -qE ' (unexpected|misuse) ' '$journal'"
cp "$journal" journal32.txt

# 4. -r in the 32-bit build is handed over too and removes the service.
printf 'C:\\proof\\prod\\jre64' >"$program/halvorin.vm"
wine "$program/halvorin.exe" -r -q >/dev/null 2>&1
wineserver -w
wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\Halvorin' >gone.txt 2>&1
check "the twin removed the service" "! grep -q ImagePath gone.txt"

# 5. xstop.exe: silent, exit code 0.
wine "$program/xstop.exe" >xstop.txt 2>&1
code=$?
check "xstop.exe exits 0" "[ $code -eq 0 ]"
check "xstop.exe prints nothing" "[ ! -s xstop.txt ] || ! grep -qv '^wine\\|fixme' xstop.txt"

# 6. krlxconfig.exe: "/force32" keeps the 32-bit build at the job; without it the
#    embedded 64-bit build is written beside the program, does the job and is deleted.
config_log="$WINEPREFIX/drive_c/users/root/Temp/krlxconfig.log"
: >"$config_log"
wine "$program/krlxconfig.exe" /force32 /remove >/dev/null 2>&1
code=$?
wineserver -w
check "krlxconfig.exe /force32 /remove exits 0" "[ $code -eq 0 ]"
check "the 32-bit build wrote its own header" \
  "grep -q -- '-- Corvalis Configurator 9.0.0.0 (' '$config_log' && ! grep -q 'WOW64: will invoke' '$config_log'"
check "no 64-bit image was written" "[ ! -e '$program/krlxconfig64.exe' ]"
: >"$config_log"
wine "$program/krlxconfig.exe" /remove >/dev/null 2>&1
code=$?
wineserver -w
check "krlxconfig.exe /remove exits 0" "[ $code -eq 0 ]"
check "the 32-bit build hands /remove on" "grep -q 'WOW64: will invoke 64-bit exe. Command line:' '$config_log' \
  && grep -qF 'exe: $winprog\\krlxconfig64.exe' '$config_log'"
check "the 64-bit build ran the job" "grep -q -- '-- Corvalis Configurator (x64) 9.0.0.0 (' '$config_log' \
  && grep -qF -- '-- $winprog\\krlxconfig64.exe /remove' '$config_log'"
check "the written 64-bit image is gone" "[ ! -e '$program/krlxconfig64.exe' ]"
cp "$config_log" krlxconfig.log 2>/dev/null

# 7. The x64 package: installed silently, its configurator step (the 32-bit build, which
#    hands /install to its 64-bit build) writes the start script and the links; removed
#    silently, the group, the product folder and the service are gone.
product="$WINEPREFIX/drive_c/Program Files/Quorvane/Corvalis"
programs='C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
group="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/QZV"
registered="wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\Halvorin' >/dev/null 2>&1"
msi() {   # /i or /x, silently
  wine msiexec "$1" 'C:\proof\prod\corvalis.msi' /qn >/dev/null 2>&1
  code=$?
  wineserver -w
  check "msiexec $1 exits 0" "[ $code -eq 0 ]"
}
msi /i
check "the service is registered" "$registered"
check "the configurator wrote Corvalis.bat" "[ -f '$product/Corvalis.bat' ]"
wine ./read_links.exe "$programs\QZV\Corvalis\Corvalis.lnk" 'C:\Program Files\Quorvane\Corvalis\krlxconfig\Corvalis.lnk' \
  'C:\users\Public\Desktop\Corvalis.lnk' >links.txt 2>/dev/null
check "the client's links read back, running javaw.exe beside the configurator" \
  "[ \$(grep -c 'target:    C:.Program Files.Quorvane.Corvalis.krlxconfig.jre.bin.javaw.exe' links.txt) -eq 3 ]"
msi /x
check "the Start-menu group is gone" "[ ! -e '$group' ]"
# Wine's DesktopFolder is the user's desktop even per machine (Windows: all users'), so the
# all-users desktop link written by the configurator is not checked here.
check "the product folder is gone" "[ ! -e '$product' ]"
check "the service is gone" "! $registered"

cp "$log" halvorin.log 2>/dev/null
echo "CHECKS: $([ $fails -eq 0 ] && echo PASS || echo "FAIL ($fails)")"
[ $fails -eq 0 ]
