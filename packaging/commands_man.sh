#!/bin/sh
# Writes a help2man include file with a COMMANDS section: each command's own
# --help, set as it prints. Fails when a command's help does.
#   commands_man.sh PROGRAM OUTPUT COMMAND...
set -eu
program=$1
output=$2
shift 2
{
  echo "[COMMANDS]"
  for command in "$@"; do
    echo ".SS $command"
    echo ".nf"
    # Backslashes and leading dots or quotes mean something to roff.
    "$program" "$command" --help | sed -e 's/\\/\\e/g' -e "s/^\([.']\)/\\\\\&\1/"
    echo ".fi"
  done
} > "$output.tmp"
mv "$output.tmp" "$output"
