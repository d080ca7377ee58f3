#!/usr/bin/env bash
# A signed build with a throwaway code-signing certificate: every deliverable, the 64-bit
# configurator inside the 32-bit one and every file inside the packages verify with the
# signer as made; the signed configurator still relaunches its build; a wrong password
# stops the signing. The signed build goes to signed/ of the 32-bit tree, not to dist/.
# usage: test_signing.sh BUILD_DIR(the folder of both trees) SOURCE_DIR WINE_DIR VERSION
set -uo pipefail
BUILD=$1 SOURCE=$2 WINE_DIR=$3 VERSION=$4
status=0
fail() { echo "FAIL: $*"; status=1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CORVALIS_SIGN_PKCS12=$work/signer.p12 CORVALIS_SIGN_PASSWORD='pass word'
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj '/CN=Corvalis Test Signer/O=Quorvane Test' -addext extendedKeyUsage=codeSigning 2>/dev/null &&
  openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$CORVALIS_SIGN_PKCS12" \
    -passout env:CORVALIS_SIGN_PASSWORD || fail "making the certificate"
verified() {   # file: signed by the throwaway certificate, SHA-256, digest as calculated
  osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.txt" 2>&1 &&
    grep -q '^Signature verification: ok$' "$work/verify.txt" &&
    grep -qE '^\s+Subject: /CN=Corvalis Test Signer/O=Quorvane Test$' "$work/verify.txt" &&
    grep -qE '^\s*Message digest algorithm\s*: SHA256$' "$work/verify.txt" || fail "$1: $(cat "$work/verify.txt")"
}

cmake --build "$BUILD/i686" --target signed_deliverables >"$work/build.log" 2>&1 || fail "$(tail -5 "$work/build.log")"
signed=$BUILD/i686/signed
[ "$(cd "$signed" && LC_ALL=C ls | tr '\n' ' ')" = "Corvalis-Halvorin-$VERSION-x64.msi Corvalis-Halvorin-$VERSION-x86.msi halvorin.exe \
halvorin64.exe krln64.dll krlxconfig.exe krlxmsg.dll krlxmsg64.dll xstop.exe " ] || fail "files signed: $(ls "$signed")"
python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); from pe import PeFile
open(sys.argv[3], "wb").write(PeFile(sys.argv[2]).resource("BINRES", 1))' \
  "$SOURCE/tests/artifacts" "$signed/krlxconfig.exe" "$work/embedded.exe"
for arch in x64 x86; do msiextract -C "$work/$arch" "$signed/Corvalis-Halvorin-$VERSION-$arch.msi" >/dev/null; done
while read -r f; do verified "$f"; done < <(ls "$signed"/* "$work/embedded.exe"; find "$work/x64" "$work/x86" -type f)
cmp -s "$work/embedded.exe" "$signed/../krlxconfig/signed/krlxconfig64.exe" || fail "the embedded build is not the signed one"
cmp -s "$(find "$work/x64" -name halvorin64.exe)" "$signed/halvorin64.exe" ||
  fail "the x64 package holds another halvorin64.exe than the signed one"

KRLX_SIGNED_CONFIGURATOR="Z:${signed//\//\\}\\krlxconfig.exe" bash "$SOURCE/cmake/wine-run.sh" "$WINE_DIR" \
  "$BUILD/x86_64/tests/krlxconfig/krlxconfig_relaunch.exe" --gtest_filter=Relaunch.SignedConfiguratorStillRelaunchesItsBuild \
  >"$work/relaunch.txt" 2>&1 && grep -q '^\[  PASSED  \] 1 test' "$work/relaunch.txt" || fail "$(cat "$work/relaunch.txt")"

CORVALIS_SIGN_PASSWORD=wrong bash "$SOURCE/cmake/sign.sh" check 2>"$work/check.txt" && fail "a wrong password was taken"
grep -q 'wrong password' "$work/check.txt" || fail "message for a wrong password: $(cat "$work/check.txt")"
[ $status -eq 0 ] && echo "signing: passed"
exit $status
