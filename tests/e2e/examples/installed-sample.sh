#!/usr/bin/env bash
# The sample packed by the installed tool, as an author meets it. The host
# build's sspack and the cross build's stub, library and sample engine are
# installed into a prefix (cmake --install, as scripts/package.sh does it);
# that sspack names the installed stub and library in --version and packs
# the installed sample with no --stub or --impborl; "sspack init" on the
# sample's files (without its manifest) writes a manifest that names the
# installed schema and builds the same installer byte for byte; and a signed build passes osslsigncode's
# check and sspack's verify, list and extract, with the same contents as the
# unsigned one. The signed installer stays in OUT/signed/ for the round trip
# under Wine (sample_roundtrip_tests, its "Signed" row).
# Usage: installed-sample.sh HOST_BUILD WIN_BUILD OUT
set -euo pipefail
ss_root=$(cd "$(dirname "$0")/../../.." && pwd)
host=$1
win=$2
out=$3

fail() { echo "installed-sample: $*" >&2; exit 1; }
[ -x "$host/tools/sspack" ] && [ -d "$host/examples/sample-files" ] ||
  fail "no built host tree in $host (scripts/build.sh host)"
rm -rf "$out"
mkdir -p "$out"
prefix=$out/prefix
cmake --install "$host" --prefix "$prefix" >/dev/null
cmake --install "$win" --prefix "$prefix" --component runtime >/dev/null
sspack=$prefix/bin/sspack
sample=$prefix/share/sspack/sample
installer="Sample Setup.exe"

version=$("$sspack" --version)
grep -qx "stub:    $prefix/share/sspack/ssinstall.exe" <<<"$version" ||
  fail "--version does not name the installed stub:"$'\n'"$version"
grep -qx "library: $prefix/share/sspack/impborl.dll" <<<"$version" ||
  fail "--version does not name the installed library:"$'\n'"$version"
cmp -s "$prefix/share/sspack/ssinstall.exe" "$win/app/ssinstall.exe" || fail "the installed stub is not the built one"

# The installed sample, packed with no flags.
mkdir -p "$out/plain"
"$sspack" build "$sample/sample.json" -o "$out/plain/$installer" -q
"$sspack" verify -q "$out/plain/$installer" || fail "sspack verify refuses the sample installer"

# "sspack init" on the same files without their manifest.
cp -a "$sample" "$out/authors"
rm "$out/authors/sample.json"
"$sspack" init -q "$out/authors" || fail "init left something missing:"$'\n'"$(cat "$out/authors/saver.json")"
# It names the installed schema of the manifest, the one in the sources, by
# its file URI (the prefix's path is plain, so the URI is that path).
schema=$(cd "$prefix/share/sspack" && pwd -P)/sspack-manifest.schema.json
cmp -s "$schema" "$ss_root/tools/sspack-manifest.schema.json" || fail "the installed schema is not the one in the sources"
grep -qF "\"\$schema\": \"file://$schema\"," "$out/authors/saver.json" ||
  fail "the manifest that init wrote does not name $schema:"$'\n'"$(cat "$out/authors/saver.json")"
mkdir -p "$out/init"
"$sspack" build "$out/authors/saver.json" -o "$out/init/$installer" -q
cmp "$out/init/$installer" "$out/plain/$installer" ||
  fail "the manifest that init wrote builds another installer:"$'\n'"$(cat "$out/authors/saver.json")"

# Signed with a throw-away certificate.
bash "$ss_root/tests/fixtures/signing/make-cert.sh" "$out/cert"
mkdir -p "$out/signed"
"$sspack" build "$sample/sample.json" -o "$out/signed/$installer" -q \
  --sign "$out/cert/cert.pfx" --sign-password-file "$out/cert/password.txt"
osslsigncode verify -CAfile "$out/cert/cert.pem" -in "$out/signed/$installer" >"$out/osslsigncode.log" 2>&1 ||
  fail "osslsigncode refuses the signed installer (see $out/osslsigncode.log)"
report=$("$sspack" verify "$out/signed/$installer") || fail "sspack verify refuses the signed installer:"$'\n'"$report"
grep -q 'note: signed: the certificate table' <<<"$report" || fail "verify does not see the signature:"$'\n'"$report"
grep -q 'not used' <<<"$report" && fail "verify counts the signature as unused bytes:"$'\n'"$report"
"$sspack" list --entries "$out/signed/$installer" >"$out/signed.list" || fail "sspack list refuses the signed installer"
grep -q '^Signed: *yes' "$out/signed.list" || fail "list does not show the signature"
"$sspack" extract -q "$out/plain/$installer" "$out/x-plain"
"$sspack" extract -q "$out/signed/$installer" "$out/x-signed"
# Segment 0 is the program part, whose headers now name the signature.
diff -r --exclude="00-$installer" "$out/x-plain" "$out/x-signed" || fail "the signed installer holds other files"
echo "installed-sample: $sspack packed, initialised and signed the sample ($(stat -c %s "$out/signed/$installer") bytes signed)"
