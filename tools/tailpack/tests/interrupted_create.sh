#!/usr/bin/env bash
# SIGTERM or SIGHUP while tailpack create writes a large package leaves no partial file and no
# output. Usage: interrupted_create.sh TAILPACK STUB
set -euo pipefail
tailpack=$1 stub=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
truncate -s 768M "$work/big.bin"  # sparse: no disk until create writes its copy
# (SIGINT is ignored by a background job of a script, and so by tailpack then.)
for signal in TERM HUP; do
  "$tailpack" create --stub "$stub" --output "$work/out.exe" --file "installer32=$work/big.bin" \
    --value executable32=%installer32% --unchecked-launch >/dev/null 2>&1 &
  pid=$!
  # Bounded wait for the partial file to appear, then the signal.
  for ((i = 0; i < 600; i++)); do
    compgen -G "$work/out.exe.partial-*" >/dev/null && break
    kill -0 "$pid" 2>/dev/null || { echo "FAILED: create ended before its partial file was seen ($signal)"; exit 1; }
    sleep 0.01
  done
  kill -s "$signal" "$pid"
  status=0
  wait "$pid" || status=$?
  left=$(ls "$work")
  if [[ $left != big.bin ]]; then echo "FAILED: SIG$signal left: $left"; exit 1; fi
  (( status == 128 + $(kill -l "$signal") )) || { echo "FAILED: exit status $status after SIG$signal"; exit 1; }
done
echo "interrupted create: no partial file after SIGTERM and SIGHUP"
