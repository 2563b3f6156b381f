#!/bin/sh
# Signs a release of the program for the self-update: writes quillex.sig, the
# detached Ed25519 signature that builds made with QUILLEX_UPDATE_PUBLIC_KEY
# require beside the program on the update server.
#
#   scripts/sign-release.sh PRIVATE_KEY.pem PROGRAM [SIGNATURE]
#
# SIGNATURE defaults to quillex.sig in the program's folder. A key pair is made
# once with
#   openssl genpkey -algorithm ed25519 -out quillex-release.key
#   openssl pkey -in quillex-release.key -pubout -out quillex-release.pub
# and the build is configured with -DQUILLEX_UPDATE_PUBLIC_KEY=quillex-release.pub.
set -eu
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "usage: $0 PRIVATE_KEY.pem PROGRAM [SIGNATURE]" >&2
    exit 2
fi
key=$1
program=$2
signature=${3:-$(dirname -- "$program")/quillex.sig}
openssl pkeyutl -sign -rawin -inkey "$key" -in "$program" -out "$signature.tmp"
# The signature is checked here as the program will check it.
openssl pkey -in "$key" -pubout -out "$signature.pub.tmp"
if ! openssl pkeyutl -verify -rawin -pubin -inkey "$signature.pub.tmp" -in "$program" -sigfile "$signature.tmp" >/dev/null; then
    rm -f -- "$signature.tmp" "$signature.pub.tmp"
    echo "$0: the signature does not verify" >&2
    exit 1
fi
rm -f -- "$signature.pub.tmp"
mv -f -- "$signature.tmp" "$signature"
echo "$signature"
