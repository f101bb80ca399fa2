#!/usr/bin/env bash
# Tells whether this machine runs 32-bit programs, by asking the 32-bit Wine
# loader for its version. Prints one line and exits:
#   0  it runs them: the 32-bit Windows suites must run;
#   1  the kernel refuses them (the loader fails with "Exec format error"),
#      so the 32-bit Windows suites cannot run here;
#   2  anything else (the loader is missing or fails another way): a broken
#      setup, which must not pass for a machine without 32-bit support.
set -uo pipefail

loader=/usr/lib/wine/wine
if [ ! -e "$loader" ]; then
  echo "32-bit Wine loader $loader is missing (setup did not install wine32)"
  exit 2
fi
out=$("$loader" --version 2>&1)
status=$?
if [ $status -eq 0 ]; then
  echo "this machine runs 32-bit programs ($out)"
  exit 0
fi
# 126 is the shell's "cannot execute"; the kernel's refusal reads "Exec format
# error" (ENOEXEC).
if [ $status -eq 126 ] && grep -q 'Exec format error' <<<"$out"; then
  echo "this machine's kernel refuses 32-bit programs ($loader: Exec format error)"
  exit 1
fi
echo "32-bit Wine loader failed with status $status: $out"
exit 2
