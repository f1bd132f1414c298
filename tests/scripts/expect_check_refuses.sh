#!/usr/bin/env bash
# Runs the product check on a program that must not pass it, and expects it
# to fail with each of the given message lines; a message given as !LINE is
# a line that must not appear.
#   expect_check_refuses.sh CHECK PROGRAM [--twin] MESSAGE...
set -uo pipefail
check=$1 program=$2
shift 2
options=()
if [[ ${1:-} == --twin ]]; then options=(--twin); shift; fi
out=$(bash "$check" "$program" "${options[@]}" 2>&1)
rc=$?
echo "$out"
if [[ $rc -eq 0 ]]; then echo "expected the check to fail"; exit 1; fi
for message in "$@"; do
  if [[ $message == '!'* ]]; then
    ! grep -qxF -- "${message#!}" <<<"$out" || { echo "did not expect the line: ${message#!}"; exit 1; }
  else
    grep -qxF -- "$message" <<<"$out" || { echo "expected the line: $message"; exit 1; }
  fi
done
