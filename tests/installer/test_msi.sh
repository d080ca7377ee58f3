#!/usr/bin/env bash
# The Windows Installer packages under Wine's msiexec: the x64 package installed silently
# into a folder of our own, upgraded from a lower version with the service running, a
# downgrade refused, removed silently; then the tables of what Wine cannot run (the
# 32-bit configurator's steps, the x86 package).
# usage: test_msi.sh WINE_DIR DIST_DIR X64_MSI X86_MSI STANDIN_JVM ICON
set -uo pipefail
export LC_ALL=C
WINE_DIR=$1 DIST=$2 X64_MSI=$3 X86_MSI=$4 STANDIN_JVM=$5 ICON=$6
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/../../cmake/wine-env.sh"
status=0
fail() { echo "FAIL: $*"; status=1; }
same() { [ "$1" = "$2" ] || fail "$3: '$1', expected '$2'"; }
wine() { "$WINE64" "$@" 2>/dev/null | tr -d '\r'; }
# Unix sees only the low 8 bits of an exit code (1603 comes back as 67); cmd sees it all.
msiexec() { wine cmd /v:on /c "msiexec $* /qn & echo exit !errorlevel!" | tail -n 1; }
service() {   # the state and the start mode of the service Halvorin
  echo "$(wine sc query Halvorin | awk '/STATE/ {print $4}') $(wine reg query \
    'HKLM\SYSTEM\CurrentControlSet\Services\Halvorin' /v Start | awk '/Start/ {print $3}')"
}
image() { wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\Halvorin' /v ImagePath | awk '/ImagePath/ {print $3}'; }
wait_for() { for _ in $(seq 1 200); do eval "$1" && return 0; sleep 0.1; done; return 1; }
entry() {   # our Programs and Features entry: version, help, folder, publisher, support
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | awk -F '    ' '/^HKEY/ { ours = 0 }
    $2 == "DisplayName" && $4 == "QZV Corvalis and Halvorin" { ours = 1 }
    ours && $2 ~ /^(DisplayVersion|HelpLink|InstallLocation|Publisher|URLInfoAbout)$/ { printf "%s|", $4 }'
}
DOCS=https://docs.quorvane.com/corvalis/Corvalis_and_Halvorin.pdf
ROOT_WIN='C:\hvt-msi\Corvalis' ROOT="$WINEPREFIX/drive_c/hvt-msi/Corvalis"
JOURNAL="$ROOT/jre/bin/server/standin.journal"
work=$(mktemp -d) work_win="Z:${work//\//\\}"
reset() {
  for p in high low; do msiexec /x "$work_win\\$p.msi" >/dev/null; done
  rm -rf "$WINEPREFIX/drive_c/hvt-msi"
  wine reg delete 'HKLM\SOFTWARE\Quorvane\Corvalis' /f >/dev/null
}
trap 'reset; rm -rf "$work"' EXIT

# The Java applications' files: a 64-bit stand-in VM, named by halvorin.vm, decides the
# 64-bit registration.
mkdir -p "$work/payload/halvorin" "$work/payload/jre/bin/server"
cp "$STANDIN_JVM" "$work/payload/jre/bin/server/jvm.dll"
echo 'main = until-stop' >"$work/payload/jre/bin/server/standin.script"
printf '%s\\jre' "$ROOT_WIN" >"$work/payload/halvorin/halvorin.vm"
for v in low:8.9.0 high:9.0.0; do
  CORVALIS_MSI_PAYLOAD=$work/payload bash "$HERE/../../installer/build_msi.sh" x64 "${v#*:}" "$DIST" "$ICON" \
    "$work/${v%%:*}.msi" || fail "building the ${v#*:} package"
done
reset

same "$(msiexec /i "$work_win\\low.msi" /l*v "$work_win\\install.log" "INSTALLDIR=$ROOT_WIN")" "exit 0" "install"
same "$(cd "$ROOT" && find . | sort | tr '\n' ' ')" ". ./common ./halvorin ./halvorin/halvorin.exe \
./halvorin/halvorin.vm ./halvorin/halvorin64.exe ./halvorin/krlxmsg.dll ./halvorin/krlxmsg64.dll ./halvorin/xstop.exe \
./jre ./jre/bin ./jre/bin/server ./jre/bin/server/jvm.dll ./jre/bin/server/standin.script ./krlxconfig \
./krlxconfig/krln64.dll ./krlxconfig/krlxconfig.exe " "installed files"
same "$(image) $(service)" "\"$ROOT_WIN\\halvorin\\halvorin64.exe\" STOPPED 0x3" "service after the install"
same "$(entry)" "8.9.0|$DOCS|$ROOT_WIN\\|Quorvane|$DOCS|" "Programs and Features"
# The configurator (32-bit) cannot run here; the install goes on after its step.
grep -q 'ConfiguratorInstall. Return value 1' "$work/install.log" || fail "the configurator step did not run"

# Upgrade with the service running, set to start automatically: stopped before its files
# are replaced, started again. Wine's RemoveExistingProducts removes the older product
# without UPGRADINGPRODUCTCODE (Windows passes it), so the older package's removal steps
# remove the service too and the newer one registers it anew; the start mode is checked
# below, with that removal run as Windows runs it.
wine reg add 'HKLM\SYSTEM\CurrentControlSet\Services\Halvorin' /v Start /t REG_DWORD /d 2 /f >/dev/null
wine net start Halvorin >/dev/null
wait_for '[ "$(service)" = "RUNNING 0x2" ]' || fail "the service did not start"
same "$(msiexec /i "$work_win\\high.msi")" "exit 0" "upgrade"
wait_for '[ "$(grep -c " main argc=2$" "$JOURNAL")" = 2 ]'
same "$(grep -oE ' (main argc=2|dispatchSCMEvent 1|DestroyJavaVM -> 0)$' "$JOURNAL" | tr -d '\n')" \
  " main argc=2 dispatchSCMEvent 1 DestroyJavaVM -> 0 main argc=2" "the service's runs"
same "$(image) $(service | cut -d ' ' -f 1)" "\"$ROOT_WIN\\halvorin\\halvorin64.exe\" RUNNING" "after the upgrade"
same "$(entry)" "9.0.0|$DOCS|$ROOT_WIN\\|Quorvane|$DOCS|" "Programs and Features after the upgrade"
# Wine logs no text for a failed launch condition (Windows does): see the table below.
same "$(msiexec /i "$work_win\\low.msi")" "exit 1603" "downgrade"
same "$(entry | cut -d '|' -f 1)" "9.0.0" "version after the downgrade"

wine reg add 'HKLM\SYSTEM\CurrentControlSet\Services\Halvorin' /v Start /t REG_DWORD /d 2 /f >/dev/null
same "$(msiexec /x "$work_win\\high.msi" "UPGRADINGPRODUCTCODE={00000000-0000-0000-0000-000000000001}")" \
  "exit 0" "removal for an upgrade"
wait_for '[ "$(service)" = "STOPPED 0x2" ]' || fail "service after the removal for an upgrade: $(service)"
same "$(msiexec /i "$work_win\\high.msi" "INSTALLDIR=$ROOT_WIN")" "exit 0" "install after that removal"
wait_for '[ "$(service)" = "RUNNING 0x2" ]' || fail "service after that install: $(service)"

# Removal: the service, the files the programs made and the folders go; the settings stay.
wine net stop Halvorin >/dev/null
wait_for '[ "$(service)" = "STOPPED 0x2" ]' || fail "the service did not stop"
rm -f "$JOURNAL"   # the stand-in's, not the product's
desktop="$WINEPREFIX/drive_c/users/$(whoami)/Desktop"   # Wine's DesktopFolder (Windows: all users')
for f in "$ROOT/Corvalis.bat" "$ROOT/Corvalis.bat.bak" "$ROOT/krlxconfig/Corvalis.lnk" \
  "$ROOT/krlxconfig/krlxconfig64.exe" "$desktop/Corvalis.lnk"; do echo made >"$f"; done
wine reg add 'HKLM\SOFTWARE\Quorvane\Corvalis' /v JavaExe /d 'C:\java\bin\java.exe' /f >/dev/null
same "$(msiexec /x "$work_win\\high.msi")" "exit 0" "removal"
[ -e "$ROOT" ] && fail "left in the product folder: $(cd "$ROOT" && find . -mindepth 1 | tr '\n' ' ')"
[ -e "$desktop/Corvalis.lnk" ] && fail "the desktop link is left"
same "$(wine sc query Halvorin | grep -c SERVICE_NAME)" 0 "services named Halvorin after the removal"
same "$(wine reg query 'HKLM\SOFTWARE\Quorvane\Corvalis' /v JavaExe | awk '/JavaExe/ {print $3}')" \
  'C:\java\bin\java.exe' "settings after the removal"
same "$(entry)" "" "Programs and Features after the removal"

# The x86 package refuses 64-bit Windows. The configurator's steps, their conditions and
# order, row by row (type 3154: a program of the package, deferred, as the machine account,
# exit code ignored).
same "$(msiexec /i "Z:${X86_MSI//\//\\}")" "exit 1603" "x86 package on x64"
while IFS='|' read -r table row; do
  msiinfo export "$X64_MSI" "$table" | tr -d '\r' | grep -qxF "$(printf '%b' "$row")" || fail "$table lacks: $row"
done <<'EOF'
CustomAction|ConfiguratorInstall\t3154\tConfigurator\t/install\t
CustomAction|ConfiguratorRemove\t3154\tConfigurator\t/remove\t
InstallExecuteSequence|ConfiguratorRemove\tREMOVE="ALL" AND NOT UPGRADINGPRODUCTCODE\t3410
InstallExecuteSequence|RemoveFiles\t\t3500
InstallExecuteSequence|ServiceInstall\tNOT REMOVE\t6500
InstallExecuteSequence|ConfiguratorInstall\tNOT REMOVE\t6510
InstallExecuteSequence|InstallFinalize\t\t6600
LaunchCondition|NOT WIX_DOWNGRADE_DETECTED\tA newer version of QZV Corvalis and Halvorin is already installed. Remove it first to install this older version.
Property|ARPPRODUCTICON\tProductIcon.ico
EOF
files() { msiinfo export "$1" File | tail -n +4 | cut -f 1,3 | sort | tr '\t\n' '= '; }
same "$(files "$X64_MSI")" "ClientNatives=krln64.dll Configurator=krlxconfig.exe Host=halvorin64.exe \
Host32=halvorin.exe MessageFile=krlxmsg.dll MessageFile64=krlxmsg64.dll StopTool=xstop.exe " "x64 package"
same "$(files "$X86_MSI")" "Configurator=krlxconfig.exe Host=halvorin.exe MessageFile=krlxmsg.dll StopTool=xstop.exe " \
  "x86 package"
msiinfo extract "$X64_MSI" Icon.ProductIcon.ico | cmp -s - "$ICON" || fail "the package's icon is not the configurator's"
[ $status -eq 0 ] && echo "Windows Installer packages: passed"
exit $status
