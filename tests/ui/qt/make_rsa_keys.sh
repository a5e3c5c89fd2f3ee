#!/bin/bash
# Writes RSA keys for the token tests into DIR: two 2048-bit keys (a, b) and one too
# small for a SHA-256 PKCS#1 v1.5 signature (small), each as <name>.pem with its
# public half in <name>.pub. The openssl command refuses to generate keys below 512
# bits, so the small one is assembled from two primes it generates.
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"

for name in a b; do
  openssl genrsa -traditional -out $name.pem 2048 2>/dev/null
done

p=$(openssl prime -generate -bits 192)
q=$(openssl prime -generate -bits 192)
/usr/bin/python3 - "$p" "$q" > small.conf <<'PY'
import sys
p, q = int(sys.argv[1]), int(sys.argv[2])
e = 65537
d = pow(e, -1, (p - 1) * (q - 1))
fields = [0, p * q, e, d, p, q, d % (p - 1), d % (q - 1), pow(q, -1, p)]
print("asn1=SEQUENCE:key\n[key]")
for i, v in enumerate(fields):
    print("f%d=INTEGER:0x%X" % (i, v))
PY
openssl asn1parse -genconf small.conf -out small.der >/dev/null
openssl rsa -inform DER -in small.der -traditional -out small.pem 2>/dev/null
openssl rsa -in small.pem -check -noout >/dev/null 2>&1

for name in a b small; do
  openssl rsa -in $name.pem -pubout -out $name.pub 2>/dev/null
done
