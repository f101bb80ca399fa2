#!/usr/bin/env bash
# Tells whether this machine runs 32-bit programs, by asking the 32-bit Wine
# loader for its version, and checks that answer against the kernel's own
# answer to a minimal 32-bit program. Prints one line and exits:
#   0  it runs them: the 32-bit Windows suites must run;
#   1  the kernel refuses 32-bit programs ("Exec format error"), so the
#      32-bit Windows suites cannot run here;
#   2  anything else (the loader is missing, fails another way, or disagrees
#      with the kernel): a broken setup, which must not pass for a machine
#      without 32-bit support.
# WINE32_LOADER names another loader to ask (for the probe's own tests).
set -uo pipefail

loader="${WINE32_LOADER:-/usr/lib/wine/wine}"
if [ ! -e "$loader" ]; then
  echo "32-bit Wine loader $loader is missing (setup did not install wine32)"
  exit 2
fi

# The kernel's answer: an i386 program of 96 bytes that only exits with 42.
# Made in the working folder: a temporary folder may forbid running programs.
tiny=$(mktemp -p "$PWD" .probe32.XXXXXX)
trap 'rm -f "$tiny"' EXIT
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08'\
'\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'\
'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00'\
'\x05\x00\x00\x00\x00\x10\x00\x00\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80' > "$tiny"
chmod +x "$tiny"
"$tiny" 2>/dev/null
kernel=$?

out=$("$loader" --version 2>&1)
status=$?
if [ $status -eq 0 ] && [ $kernel -eq 42 ]; then
  echo "this machine runs 32-bit programs ($out)"
  exit 0
fi
# 126 is the shell's "cannot execute"; the kernel's refusal reads "Exec format
# error" (ENOEXEC), for the loader and the minimal program alike.
if [ $status -eq 126 ] && grep -q 'Exec format error' <<<"$out" && [ $kernel -eq 126 ]; then
  echo "this machine's kernel refuses 32-bit programs ($loader: Exec format error)"
  exit 1
fi
echo "32-bit Wine loader answered with status $status ($out), a minimal 32-bit program with $kernel"
exit 2
