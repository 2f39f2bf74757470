#!/usr/bin/env bash
# A release signed with a certificate made here and thrown away: every
# program in the zips and installers and every installer carries a signature
# that verifies against that certificate's authority; one byte changed breaks
# it; SHA256SUMS verifies. The timestamp server given does not answer, so the
# release is signed without a timestamp, and says so.
#   tests/release/signing.sh [WORK]       (default build-release-test)
set -euo pipefail
cd "$(dirname "$0")/../.."
work=$(realpath -m "${1:-build-release-test}")
rm -rf "$work" && mkdir -p "$work/key"
# The staged programs and installers must not stay signed by this certificate.
trap 'rm -rf build-win32/packaging/windows/programs build-win64/packaging/windows/programs \
             build-win32/packaging/windows/*.msi build-win64/packaging/windows/*.msi' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

key=$work/key
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Throwaway Test Authority" \
  -keyout "$key/ca.key" -out "$key/ca.pem" 2> /dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Throwaway Test Signer" \
  -keyout "$key/signer.key" -out "$key/signer.csr" 2> /dev/null
printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > "$key/signer.ext"
openssl x509 -req -in "$key/signer.csr" -CA "$key/ca.pem" -CAkey "$key/ca.key" -CAcreateserial \
  -days 2 -extfile "$key/signer.ext" -out "$key/signer.pem" 2> /dev/null
password=$(openssl rand -hex 12)
openssl pkcs12 -export -inkey "$key/signer.key" -in "$key/signer.pem" -certfile "$key/ca.pem" \
  -passout "pass:$password" -out "$key/signer.p12"

TARVANE_SIGN_P12=$key/signer.p12 TARVANE_SIGN_PASSWORD=$password \
TARVANE_SIGN_TIMESTAMP_URL=http://127.0.0.1:9/ \
  scripts/release/release.sh "$work/dist" > "$work/release.log" 2>&1 ||
  { tail -n 30 "$work/release.log"; fail "the release failed"; }
grep -q "no timestamp from http://127.0.0.1:9/ .*signed without one" "$work/release.log" ||
  fail "a release signed without a timestamp does not say so"

dist=$work/dist
verify() { osslsigncode verify -CAfile "$key/ca.pem" -in "$1" > "$work/verify.log" 2>&1; }
checked=0
for package in "$dist"/*.zip "$dist"/*.msi; do
  if [[ $package == *.msi ]]; then
    verify "$package" || fail "$(basename "$package"): $(tail -n 3 "$work/verify.log")"
  fi
  inside=$work/inside/$(basename "$package")
  mkdir -p "$inside"
  if [[ $package == *.zip ]]; then unzip -q "$package" -d "$inside"; else msiextract -C "$inside" "$package" > /dev/null; fi
  mapfile -t programs < <(find "$inside" -name '*.exe' | sort)
  [[ ${#programs[@]} -eq 2 ]] || fail "$(basename "$package") holds ${#programs[@]} programs, not 2"
  for program in "${programs[@]}"; do
    verify "$program" || fail "$(basename "$package")/$(basename "$program"): $(tail -n 3 "$work/verify.log")"
    checked=$((checked + 1))
  done
done
[[ $checked -eq 8 ]] || fail "$checked programs checked, not 8"

# One byte changed in the middle of a signed program.
cp "${programs[0]}" "$work/changed.exe"
size=$(stat -c %s "$work/changed.exe")
printf '\x5a' | dd of="$work/changed.exe" bs=1 seek=$((size / 2)) conv=notrunc status=none
cmp -s "${programs[0]}" "$work/changed.exe" && printf '\x5b' | dd of="$work/changed.exe" bs=1 seek=$((size / 2)) conv=notrunc status=none
verify "$work/changed.exe" && fail "a changed program still verifies"

(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not verify"
[[ $(wc -l < "$dist/SHA256SUMS") -eq 5 ]] || fail "SHA256SUMS lists $(wc -l < "$dist/SHA256SUMS") files, not 5"
cp -r "$dist" "$work/changed-dist" && printf x >> "$(ls "$work"/changed-dist/*.deb)"
(cd "$work/changed-dist" && sha256sum --quiet -c SHA256SUMS > /dev/null 2>&1) && fail "SHA256SUMS misses a changed file"
echo "1 passed, 0 failed: $checked signed programs, 4 signed packages, SHA256SUMS"
