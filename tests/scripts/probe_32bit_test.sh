#!/usr/bin/env bash
# The 32-bit probe never reports "refused" for a loader that is missing or
# fails in any other way, and never reports "runs" for a loader that claims
# the kernel's refusal: only the kernel's own answer can make the 32-bit
# Windows suites skip.
set -uo pipefail
probe="$(dirname "$0")/../../scripts/probe_32bit.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0

expect() {  # expect <description> <allowed statuses...> -- <loader>
  local what=$1 allowed=() loader
  shift
  while [ "$1" != "--" ]; do allowed+=("$1"); shift; done
  loader=$2
  WINE32_LOADER="$loader" bash "$probe" >/dev/null
  local status=$?
  if [[ " ${allowed[*]} " != *" $status "* ]]; then
    echo "FAIL: $what: probe answered $status, expected one of ${allowed[*]}"
    failures=$((failures + 1))
  fi
}

printf '#!/bin/sh\nexit 3\n' > "$dir/failing"
printf '#!/bin/sh\necho "cannot execute binary file: Exec format error"\nexit 126\n' > "$dir/claims_refusal"
chmod +x "$dir/failing" "$dir/claims_refusal"

expect "missing loader" 2 -- "$dir/none"
expect "loader failing another way" 2 -- "$dir/failing"
# Refused only where the kernel refuses too; on a machine that runs 32-bit
# programs the disagreement is a broken setup.
expect "loader claiming refusal" 1 2 -- "$dir/claims_refusal"
if WINE32_LOADER="$dir/claims_refusal" bash "$probe" >/dev/null; [ $? -eq 1 ]; then
  # Then the machine refuses 32-bit programs: the real loader must be refused
  # the same way, never reported as broken or running.
  expect "real loader on a machine that refuses 32-bit programs" 1 -- /usr/lib/wine/wine
fi
[ $failures -eq 0 ] && echo "probe: all cases passed"
exit $((failures > 0))
