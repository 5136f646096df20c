#!/usr/bin/env bash
# Writes the help2man include file that puts every command of tailpack, with its options, into the
# man page: a section COMMANDS with each `tailpack CMD --help` as it prints.
# Usage: man_commands.sh TAILPACK OUTPUT
set -euo pipefail
tailpack=$1 output=$2
{
  echo "[COMMANDS]"
  for command in create list verify extract explain; do
    echo ".SS tailpack $command"
    echo ".nf"
    # Roff reads a backslash as an escape and a leading dot or quote as a request.
    "$tailpack" "$command" --help | sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"
    echo ".fi"
  done
} >"$output"
