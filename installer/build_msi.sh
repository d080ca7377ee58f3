#!/usr/bin/env bash
# Builds one Windows Installer package of the deliverables in DIST_DIR with wixl.
# usage: build_msi.sh x64|x86 VERSION DIST_DIR ICON OUTPUT.msi
# CORVALIS_MSI_PAYLOAD may name a folder laid out like the installation folder (lib\,
# config\, doc\ ...): the package installs what it holds beside the deliverables.
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: $0 x64|x86 VERSION DIST_DIR ICON OUTPUT.msi" >&2; exit 2; }
ARCH=$1 VERSION=$2 DIST=$3 ICON=$4 OUTPUT=$5
HERE=$(cd "$(dirname "$0")" && pwd)
PAYLOAD=${CORVALIS_MSI_PAYLOAD:-}

fail() { echo "build_msi.sh: $*" >&2; exit 1; }
case $ARCH in
x64) win64=yes shipped="halvorin.exe halvorin64.exe krlxmsg.dll krlxmsg64.dll xstop.exe krlxconfig.exe krln64.dll" ;;
x86) win64=no shipped="halvorin.exe krlxmsg.dll xstop.exe krlxconfig.exe" ;;
*) fail "unknown architecture '$ARCH' (x64 or x86)" ;;
esac
# Windows Installer compares three fields: major and minor up to 255, build up to 65535.
[[ $VERSION =~ ^([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,5})$ ]] &&
  [ "${BASH_REMATCH[1]}" -le 255 ] && [ "${BASH_REMATCH[2]}" -le 255 ] && [ "${BASH_REMATCH[3]}" -le 65535 ] ||
  fail "version '$VERSION' is not MAJOR.MINOR.BUILD within 255.255.65535"
for f in $shipped; do [ -f "$DIST/$f" ] || fail "$DIST/$f is missing"; done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# wixl takes only relative source paths: links in the scratch folder stand for the inputs.
ln -s "$(cd "$DIST" && pwd)" "$work/dist"
ln -s "$(cd "$(dirname "$ICON")" && pwd)/$(basename "$ICON")" "$work/product.ico"
sources=("$HERE/product.wxs")
defines=(-D "Arch=$ARCH" -D "Win64=$win64" -D "Version=$VERSION" -D "DistDir=dist" -D "Icon=product.ico")
if [ -n "$PAYLOAD" ]; then
  [ -d "$PAYLOAD" ] || fail "CORVALIS_MSI_PAYLOAD: $PAYLOAD is not a folder"
  PAYLOAD=$(cd "$PAYLOAD" && pwd)
  (cd "$PAYLOAD" && find . -type f | sed 's|^\./||' | sort) >"$work/payload.txt"
  [ -s "$work/payload.txt" ] || fail "CORVALIS_MSI_PAYLOAD: $PAYLOAD holds no file"
  # A payload file in place of a deliverable would give one path to two components.
  for f in $shipped; do
    case $f in krlxconfig.exe | krln64.dll) at=krlxconfig/$f ;; *) at=halvorin/$f ;; esac
    ! grep -qixF "$at" "$work/payload.txt" || fail "CORVALIS_MSI_PAYLOAD holds $at, which the package ships itself"
  done
  ln -s "$PAYLOAD" "$work/payload"
  sed 's|^|payload/|' "$work/payload.txt" |
    wixl-heat -p payload/ --directory-ref INSTALLDIR --var var.PayloadDir --component-group Payload --win64 \
      >"$work/payload.wxs"
  sources+=("$work/payload.wxs")
  defines+=(-D "Payload=yes" -D "PayloadDir=payload")
fi
# One product code per version and architecture: a package of the same version and
# architecture is the same product, never a second entry in Programs and Features.
product_code=$(python3 -c 'import sys, uuid
print("{%s}" % str(uuid.uuid5(uuid.UUID("a3a8d78f-966c-473b-bd48-4bc5bdd03c7c"), sys.argv[1])).upper())' \
  "$ARCH $VERSION")
(cd "$work" && wixl -a "$ARCH" "${defines[@]}" -D "ProductCode=$product_code" -o package.msi "${sources[@]}")

sql() { msibuild "$work/package.msi" -q "$1"; }
# wixl has no way to say that a registry search of a 64-bit package reads the 64-bit
# view (where its components write): the locator's 64-bit flag.
[ "$ARCH" = x86 ] || sql "UPDATE \`RegLocator\` SET \`Type\` = 18"
# Files the programs make in the product's folders, which wixl cannot name: the start
# script, its backup and its link, the configurator's written 64-bit build, and the
# client link on the all-users desktop. They go when the files they belong to go.
remove_row() {   # key component file folder
  sql "INSERT INTO \`RemoveFile\` (\`FileKey\`, \`Component_\`, \`FileName\`, \
\`DirProperty\`, \`InstallMode\`) VALUES ('$1', '$2', '$3', '$4', 2)"
}
remove_row StartScript Configurator Corvalis.bat INSTALLDIR
remove_row StartScriptBackup Configurator Corvalis.bat.bak INSTALLDIR
remove_row ClientLink Configurator Corvalis.lnk KrlxconfigFolder
remove_row WrittenConfigurator64 Configurator krlxconfig64.exe KrlxconfigFolder
remove_row DesktopClientLink Configurator Corvalis.lnk DesktopFolder
# The folders above the program folders, removed when empty.
remove_row InstallFolder Host "" INSTALLDIR
remove_row QuorvaneFolder Host "" QuorvaneFolder
mkdir -p "$(dirname "$OUTPUT")"
mv -f "$work/package.msi" "$OUTPUT"
