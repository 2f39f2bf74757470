#!/usr/bin/env bash
# Gives each FILE (a Windows program or installer) an Authenticode signature
# when a certificate is given, and does nothing without one:
#   TARVANE_SIGN_P12            the PKCS#12 file with the key and its chain
#   TARVANE_SIGN_PASSWORD       its password
#   TARVANE_SIGN_TIMESTAMP_URL  an RFC 3161 timestamp server (optional)
# Without a reachable timestamp server the file is signed all the same, and
# says so: that signature holds only while the certificate does.
#   scripts/release/sign.sh FILE...
set -euo pipefail
[[ -n ${TARVANE_SIGN_P12:-} ]] || exit 0
[[ -r $TARVANE_SIGN_P12 ]] || { echo "sign: cannot read $TARVANE_SIGN_P12" >&2; exit 1; }

sign() { # IN OUT [TIMESTAMP-OPTIONS]
  # The password goes through a pipe, never on a command line others can read.
  osslsigncode sign -pkcs12 "$TARVANE_SIGN_P12" -readpass <(printf '%s' "${TARVANE_SIGN_PASSWORD:-}") \
    -h sha256 -n "Tarvane Firmware Updater" -in "$1" -out "$2" "${@:3}" > /dev/null
}

for file in "$@"; do
  signed=$file.signed
  rm -f "$signed"
  if [[ -n ${TARVANE_SIGN_TIMESTAMP_URL:-} ]] &&
     sign "$file" "$signed" -ts "$TARVANE_SIGN_TIMESTAMP_URL" 2> "$signed.log"; then
    :
  else
    [[ -n ${TARVANE_SIGN_TIMESTAMP_URL:-} ]] &&
      echo "sign: no timestamp from $TARVANE_SIGN_TIMESTAMP_URL for $(basename "$file"): signed without one" >&2
    sign "$file" "$signed" || { rm -f "$signed" "$signed.log"; echo "sign: cannot sign $file" >&2; exit 1; }
  fi
  rm -f "$signed.log"
  mv "$signed" "$file"
done
