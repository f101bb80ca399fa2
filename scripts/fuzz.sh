#!/usr/bin/env bash
# Builds the version block fuzz target with clang's libFuzzer (AddressSanitizer
# and UndefinedBehaviorSanitizer on) and runs it briefly from a generated seed
# corpus. FUZZ_BUILD_DIR (default build/fuzz) holds the program, the corpus
# and any crash inputs; FUZZ_SECONDS (default 20) is the running time.
set -euo pipefail
cd "$(dirname "$0")/.."

out="${FUZZ_BUILD_DIR:-build/fuzz}"
seconds="${FUZZ_SECONDS:-20}"
mkdir -p "$out/corpus"

echo "== building the fuzz target"
clang++ -std=c++20 -O1 -g -Wall -Wextra -I. \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer \
  fuzz/version_block_fuzz.cpp host/text_ops.cpp host/host_names.cpp \
  hostinfo/host_detection.cpp hostinfo/version_source_portable.cpp \
  -o "$out/version_block_fuzz"

# Seeds. The first byte picks the part under test: 0 the version block reader,
# 1 the name search, 2 the integer parse and version texts.
nt_fixed() { printf '\x00%.0s' $(seq 32); printf '\x00\x00\x04\x00'; printf '\x00%.0s' $(seq 16); }
no_answers() { printf '\x00%.0s' $(seq 20); }
{ printf '\x00\x00'; no_answers
  printf '\x40\x00\x00\x00InternalName\x00\x00\x00\x00Photoshp\x00\x00\x00\x00\x1c\x00\x04\x00FileVersion\x00''5.52\x00'
} > "$out/corpus/seed_raw_search"
{ printf '\x00\x2c'
  # fixed information, translation, internal name, file version: present, offset, length
  for answer in '\x01\x00\x00\x34\x00' '\x01\x34\x00\x04\x00' '\x01\x38\x00\x0f\x00' '\x01\x47\x00\x05\x00'; do
    printf "$answer"
  done
  nt_fixed; printf '\x09\x04\xb0\x04''Adobe Premiere\x00''6.01\x00'
} > "$out/corpus/seed_queries"
{ printf '\x00\x02'; no_answers; printf 'InternalName\x00'; } > "$out/corpus/seed_too_large"
printf '\x01\x01\xff\x00\x03PM6xpm6' > "$out/corpus/seed_find_text"
printf '\x01\x00\x00\x01\x0cInternalName\x00\x00InternalName\x00\x00\x00\x00PM65' > "$out/corpus/seed_find_raw"
printf '\x02\x06  12  ' > "$out/corpus/seed_parse"
printf '\x02\x0a1, 1, 0, 1' > "$out/corpus/seed_version"

echo "== fuzzing for ${seconds}s"
"$out/version_block_fuzz" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
  -artifact_prefix="$out/" "$out/corpus" > "$out/fuzz.log" 2>&1 || {
  tail -n 60 "$out/fuzz.log"
  echo "fuzzing found a fault; the input is in $out/"
  exit 1
}
grep -E '^Done' "$out/fuzz.log" || true
