#!/usr/bin/env bash
# Authenticode signing of the deliverables with osslsigncode (SHA-256), with the code-signing
# certificate named by the environment:
#   CORVALIS_SIGN_PKCS12     the certificate with its private key, a PKCS#12 (.p12, .pfx) file
#   CORVALIS_SIGN_PASSWORD   its password; handed on through a pipe, never on a command line
#   CORVALIS_SIGN_TIMESTAMP  optional: the address of an RFC 3161 time-stamp server
# usage: sign.sh check                  is the certificate usable? (the reason on stderr)
#        sign.sh file IN OUT            IN signed as OUT (OUT appears only when signed)
#        sign.sh deliverables DIST_DIR CONFIGURATOR VERSION ICON OUT_DIR
#                                       OUT_DIR: every program and DLL of DIST_DIR signed,
#                                       with CONFIGURATOR (the 32-bit configurator around the
#                                       signed 64-bit one) as krlxconfig.exe, and both packages
#                                       made of the signed files and signed
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
fail() { echo "signing: $*" >&2; exit 1; }

check() {
  local p12=${CORVALIS_SIGN_PKCS12:-} cert
  [ -n "$p12" ] || fail "CORVALIS_SIGN_PKCS12 names no certificate file"
  [ -f "$p12" ] && [ -r "$p12" ] || fail "cannot read the certificate file $p12"
  export CORVALIS_SIGN_PASSWORD=${CORVALIS_SIGN_PASSWORD:-}
  cert=$(openssl pkcs12 -in "$p12" -passin env:CORVALIS_SIGN_PASSWORD -nokeys -clcerts 2>/dev/null) ||
    fail "cannot open $p12: wrong password (CORVALIS_SIGN_PASSWORD), or not a PKCS#12 file"
  openssl x509 -noout -checkend 0 <<<"$cert" >/dev/null ||
    fail "the certificate in $p12 expired on $(openssl x509 -noout -enddate <<<"$cert" | cut -d= -f2)"
  openssl x509 -noout -ext extendedKeyUsage <<<"$cert" 2>/dev/null | grep -q 'Code Signing' ||
    fail "the certificate in $p12 is not for code signing"
  echo "signing with: $(openssl x509 -noout -subject <<<"$cert")"
}

sign_file() {   # in out
  local timestamp=()
  [ -z "${CORVALIS_SIGN_TIMESTAMP:-}" ] || timestamp=(-ts "$CORVALIS_SIGN_TIMESTAMP")
  rm -f "$2.partial"
  osslsigncode sign -pkcs12 "$CORVALIS_SIGN_PKCS12" -readpass <(printf '%s' "${CORVALIS_SIGN_PASSWORD:-}") \
    -h sha256 "${timestamp[@]}" -in "$1" -out "$2.partial" >/dev/null ||
    { rm -f "$2.partial"; fail "osslsigncode could not sign $1"; }
  mv -f "$2.partial" "$2"
}

deliverables() {   # dist configurator version icon out
  local dist=$1 configurator=$2 version=$3 icon=$4 out=$5 f arch
  rm -rf "$out"
  mkdir -p "$out"
  trap 'rm -rf "$out"' EXIT   # all signed, or nothing
  sign_file "$configurator" "$out/krlxconfig.exe"
  for f in halvorin.exe halvorin64.exe krlxmsg.dll krlxmsg64.dll xstop.exe krln64.dll; do
    sign_file "$dist/$f" "$out/$f"
  done
  for arch in x64 x86; do
    bash "$HERE/../installer/build_msi.sh" "$arch" "$version" "$out" "$icon" "$out/package.msi"
    sign_file "$out/package.msi" "$out/Corvalis-Halvorin-$version-$arch.msi"
    rm -f "$out/package.msi"
  done
  trap - EXIT
}

case ${1:-} in
check) check ;;
file) sign_file "$2" "$3" ;;
deliverables) shift; deliverables "$@" ;;
*) sed -n '7,13p' "$0" >&2; exit 2 ;;
esac
