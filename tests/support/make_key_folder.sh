#!/usr/bin/env bash
# Makes a customer's key folder with the openssl command-line tool, as the certification
# centre's tools make key disks:
#   make_key_folder.sh DIR LOGIN PASSWORD
# DIR gets CA.CER (self-signed certification centre), TRANSPORT.CER and LOGIN.CER (issued by
# it; the customer's common name is LOGIN) and LOGIN.KEY: a traditional PEM RSA key
# ("RSA PRIVATE KEY", Proc-Type/DEK-Info, DES-EDE3-CBC) encrypted with the Windows-1251 bytes
# of PASSWORD (given in UTF-8). The private keys of the centre and of the transport
# certificate, and the customer's key in clear, stay in DIR/.fixture/ (ca.key, transport.key,
# user.pem) for tests that issue or sign more.
# Environment: BITS (customer key size, default 1024), DAYS (validity, default 365),
# SERIAL (customer certificate serial number, default 1001).
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: $0 DIR LOGIN PASSWORD" >&2
  exit 2
fi
dir=$1 login=$2 password=$3
bits=${BITS:-1024} days=${DAYS:-365} serial=${SERIAL:-1001}
work="$dir/.fixture"
mkdir -p "$work"
umask 077

passfile="$work/password"
printf '%s\n' "$password" | iconv -f UTF-8 -t CP1251 > "$passfile"

subject() { printf '/C=RU/O=Brelo Test/CN=%s' "$1"; }

openssl genrsa -out "$work/ca.key" 2048 2>/dev/null
openssl req -x509 -new -key "$work/ca.key" -subj "$(subject 'Brelo Test CA')" -days 3650 \
  -set_serial 1 -out "$dir/CA.CER"

issue() {  # issue NAME_KEY CN SERIAL OUT
  openssl req -new -key "$1" -subj "$(subject "$2")" -out "$work/req.pem"
  openssl x509 -req -in "$work/req.pem" -CA "$dir/CA.CER" -CAkey "$work/ca.key" \
    -set_serial "$3" -days "$days" -out "$4" 2>/dev/null
}

openssl genrsa -out "$work/transport.key" 1024 2>/dev/null
issue "$work/transport.key" TRANSPORT 2 "$dir/TRANSPORT.CER"

openssl genrsa -out "$work/user.pem" "$bits" 2>/dev/null
issue "$work/user.pem" "$login" "$serial" "$dir/$login.CER"
openssl rsa -in "$work/user.pem" -des3 -traditional -passout "file:$passfile" -out "$dir/$login.KEY" 2>/dev/null
rm -f "$work/req.pem"
