#!/usr/bin/env bash
# Signs a finished installer and checks the signature.
#
#   sign-check.sh --builder PROGRAM --stub FILE [--program EXE] [--run WINE_RUN]
#
# Makes a throwaway code-signing certificate with openssl, builds a small
# installer from STUB with the builder (once unsigned, once signed), and
# checks with osslsigncode that:
#   - the signed installer verifies;
#   - signing changed nothing but the checksum and the certificate entry,
#     and appended the certificate table after the padded payload;
#   - a changed payload byte breaks the signature (the payload is covered);
#   - a stub signed first, with the payload appended after its certificate
#     table, does not verify (which is why the whole installer is signed);
#   - a signing failure leaves no output behind.
#
# --program EXE packs that program as the installer program (lvxrun.exe)
# instead of filler bytes: the sample installer, built for the stub's
# machine. --run WINE_RUN (scripts/wine-run; needs --program and a stub that
# runs under wine64) then runs the signed installer from the Wine prefix's
# C: drive and checks that it still unpacks and starts the program with
# /quillimarkmode (the sample's report, LVXRUN_REPORT, appears and lists
# what was packed), and that the work folder is gone when it ends.
set -uo pipefail

usage="usage: sign-check.sh --builder PROGRAM --stub FILE [--program EXE] [--run WINE_RUN]"
builder= stub= program= wine_run=
while (($#)); do
  case $1 in
    --builder) builder=$2; shift 2 ;;
    --stub) stub=$2; shift 2 ;;
    --program) program=$2; shift 2 ;;
    --run) wine_run=$2; shift 2 ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
[[ -n $builder && -n $stub ]] || { echo "$usage" >&2; exit 2; }
[[ -z $wine_run || -n $program ]] || { echo "sign-check.sh: --run needs --program" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fail=1; fi
}
le32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=qm-build test signer" -addext "extendedKeyUsage=codeSigning" >"$work/openssl.log" 2>&1 ||
  { cat "$work/openssl.log"; echo "FAIL: openssl could not make a certificate"; exit 1; }

src=$work/src
mkdir -p "$src/data" "$work/out"
if [[ -n $program ]]; then
  cp "$program" "$src/lvxrun.exe"
else
  head -c 3000 /dev/urandom >"$src/lvxrun.exe"
fi
printf '[setup]\r\n' >"$src/data/a.ini"
printf 'x' >"$src/$(printf '\xe8\xa1\xa8')"   # a Japanese name

# Reading a file may move its access time: the same times for both builds.
reset_times() { find "$src" -exec touch -d @1600000000 {} +; }
reset_times
"$builder" -q --stub "$stub" --source "$src" --installer lvxrun.exe --output "$work/out/unsigned.exe" ||
  { echo "FAIL: the builder could not make the unsigned installer"; exit 1; }
reset_times
"$builder" -q --stub "$stub" --source "$src" --installer lvxrun.exe --output "$work/out/signed.exe" \
  --sign-cert "$work/cert.pem" --sign-key "$work/key.pem" ||
  { echo "FAIL: the builder could not make the signed installer"; exit 1; }

verify() { osslsigncode verify -in "$1" -CAfile "$work/cert.pem" >"$work/verify.log" 2>&1; }

check "the signed installer verifies" verify "$work/out/signed.exe"

# Layout: the unsigned file is a prefix of the signed one but for the
# checksum and the certificate entry (12 bytes), and the table starts at or
# after its end.
unsigned_size=$(stat -c %s "$work/out/unsigned.exe")
signed_size=$(stat -c %s "$work/out/signed.exe")
changed=$(cmp -l "$work/out/unsigned.exe" "$work/out/signed.exe" 2>/dev/null | wc -l)
check "signing changed at most 12 bytes before the table ($changed)" test "$changed" -le 12
pe=$(le32 "$work/out/signed.exe" 60)
magic=$(od -An -tu2 -j $((pe + 24)) -N2 "$work/out/signed.exe" | tr -d ' ')
entry=$((pe + 24 + (magic == 523 ? 112 : 96) + 32))
cert_offset=$(le32 "$work/out/signed.exe" "$entry")
cert_size=$(le32 "$work/out/signed.exe" $((entry + 4)))
stub_size=$(stat -c %s "$stub")
check "the certificate table follows the payload ($cert_offset >= $unsigned_size)" test "$cert_offset" -ge "$unsigned_size"
check "the certificate table ends the file" test $((cert_offset + cert_size)) -eq "$signed_size"
check "the payload fills whole 8192-byte pieces" test $(((unsigned_size - stub_size) % 8192)) -eq 0

# A changed payload byte must break the signature.
cp "$work/out/signed.exe" "$work/tampered.exe"
at=$((stub_size + 100))
printf '\x55' | dd of="$work/tampered.exe" bs=1 seek="$at" conv=notrunc status=none
check "a changed payload byte breaks the signature" bash -c "! osslsigncode verify -in '$work/tampered.exe' -CAfile '$work/cert.pem' >/dev/null 2>&1"

# The other layout: sign the stub, then append the payload behind its table.
# The bytes after the table are not covered, and the file does not verify.
cp "$stub" "$work/stub-plain.exe"
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -h sha256 -in "$work/stub-plain.exe" \
  -out "$work/stub-signed.exe" >/dev/null 2>&1 || { echo "FAIL: osslsigncode could not sign the stub"; exit 1; }
cp "$work/stub-signed.exe" "$work/appended.exe"
tail -c +$((stub_size + 1)) "$work/out/unsigned.exe" >>"$work/appended.exe"
check "a payload appended after a signed stub does not verify" bash -c "! osslsigncode verify -in '$work/appended.exe' -CAfile '$work/cert.pem' >/dev/null 2>&1"

# A failed signing leaves nothing: the key is not a key.
before=$(ls -A "$work/out" | tr '\n' ' ')
"$builder" -q --stub "$stub" --source "$src" --installer lvxrun.exe --output "$work/out/broken.exe" \
  --sign-cert "$work/cert.pem" --sign-key "$work/cert.pem" >"$work/broken.log" 2>&1
status=$?
after=$(ls -A "$work/out" | tr '\n' ' ')
check "a signing failure exits with status 1 ($status)" test "$status" -eq 1
check "a signing failure leaves no file behind" test "$before" = "$after"

[[ -n $wine_run ]] || exit $fail
if ! why=$("$wine_run" --can-run "$stub"); then
  echo "FAIL: signing checked, but the signed installer cannot run: $why"
  exit 1
fi

# The signed installer under Wine, from a folder of its own on the
# prefix's C: drive (never Z:, the Linux root).
# shellcheck source=scripts/wine-lib.sh
source "$(dirname "$0")/wine-lib.sh"
prefix=$(qm_wine_value "$wine_run" WINEPREFIX)
[[ -d $prefix/drive_c ]] || { echo "FAIL: no Wine prefix ($prefix)"; exit 1; }
folder_name=qmtest\\signed-run-$$
run_dir=$(qm_linux_path "$prefix" "C:\\$folder_name")
trap 'rm -rf "$work" "$run_dir"' EXIT
cp "$work/out/signed.exe" "$work/setup.exe"
qm_run_installer "$wine_run" "$prefix" "$folder_name" "$work/setup.exe"
qm_check_installer_run "$prefix" lvxrun.exe 'data\a.ini' "$(printf '\xe8\xa1\xa8')" || fail=1
exit $fail
