#!/usr/bin/env bash
# The test certificates: an office CA and the board's certificate for
# localhost (and 127.0.0.1, by name and by address), twice, as a renewal
# would give it. Made once and kept; run again only to replace them.
set -euo pipefail
cd "$(dirname "$0")"
days=9000
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days $days -subj "/CN=Pegora test office CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
for name in board renewed; do
    openssl req -newkey rsa:2048 -nodes -keyout $name.key -out $name.csr -subj "/CN=localhost" 2>/dev/null
    openssl x509 -req -in $name.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out $name.pem -days $days \
        -extfile <(printf 'subjectAltName=DNS:localhost,DNS:127.0.0.1,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n') \
        2>/dev/null
    rm $name.csr
done

# The same certificate as Windows exports one: a PFX file with its key, and the file of its password.
printf 'pegora test\n' > board.pfx.password
openssl pkcs12 -export -in board.pem -inkey board.key -certfile ca.pem -out board.pfx -passout pass:'pegora test'
rm -f ca.srl ca.key
