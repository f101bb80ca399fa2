#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each briefly:
#   version_block_fuzz  the host detection reader, from seeds made here and
#                       the corpus in fuzz/corpus/version_block;
#   entry_point_fuzz    the whole entry point driven by a host of the runner's
#                       making, from the corpus in fuzz/corpus/entry_point;
#   jpeg_rows_fuzz      the JPEG reader that decodes restart intervals on
#                       several threads and the JPEG settings reader, from the
#                       corpus in fuzz/corpus/jpeg_rows and every JPEG of the
#                       public test pictures (build/corpus, when fetched).
# The checked-in corpora are what long runs found, minimised, so that these
# short runs start from the code's coverage as it stands.
# FUZZ_BUILD_DIR (default build/fuzz) holds the programs, the working corpora
# and any crash inputs; FUZZ_SECONDS (default 20) is each target's running
# time. Inputs that once found a fault stay in the checked-in corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

out="${FUZZ_BUILD_DIR:-build/fuzz}"
seconds="${FUZZ_SECONDS:-20}"
mkdir -p "$out/corpus" "$out/entry_corpus" "$out/jpeg_corpus" "$out/jpeg_seeds"
flags=(-std=c++20 -O1 -g -Wall -Wextra -I. -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=undefined -fno-omit-frame-pointer)

echo "== building the fuzz targets"
{
  clang++ "${flags[@]}" \
    fuzz/version_block_fuzz.cpp host/text_ops.cpp host/host_names.cpp \
    hostinfo/host_detection.cpp hostinfo/version_source_portable.cpp \
    -o "$out/version_block_fuzz"
  # libjpeg-turbo as the tool links it (not instrumented: the coverage is ours).
  clang++ "${flags[@]}" $(pkg-config --cflags libjpeg) \
    fuzz/jpeg_rows_fuzz.cpp pictures/jpeg_rows.cpp pictures/jpeg_settings.cpp \
    $(pkg-config --libs libjpeg) -pthread -o "$out/jpeg_rows_fuzz"
} &
first=$!
# The filter as the native build links it (portable sources only) and the
# runner: every source of those folders but the Windows bindings and the
# stand-ins of builds without a scripted dialog user.
mapfile -t sources < <(ls core/*.cpp host/*.cpp hostinfo/*.cpp dialog/*.cpp runner/*.cpp | grep -v '_win32\.cpp$\|_absent\.cpp$')
clang++ "${flags[@]}" fuzz/entry_point_fuzz.cpp tests/support/test_host.cpp "${sources[@]}" -o "$out/entry_point_fuzz"
wait "$first"

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
# Every file of the public test pictures that starts as a JPEG does, named
# by its path there.
if [ -d build/corpus ]; then
  python3 - "$out/jpeg_seeds" <<'EOF'
import os, shutil, sys
for folder, _, names in os.walk('build/corpus'):
    for name in names:
        path = os.path.join(folder, name)
        with open(path, 'rb') as file:
            if file.read(2) == b'\xff\xd8':
                shutil.copy(path, os.path.join(sys.argv[1], os.path.relpath(path, 'build/corpus').replace('/', '_')))
EOF
fi

# fuzz <target> <max input length> <extra seconds> <corpus folders...>: new
# inputs go into the first folder, under the build folder. A target whose
# corpus takes long to replay gets that time on top of FUZZ_SECONDS, which
# libFuzzer counts from its start.
fuzz() {
  local target=$1 max_len=$2 total=$((seconds + $3))
  shift 3
  echo "== fuzzing $target for ${total}s"
  "$out/$target" -max_total_time="$total" -max_len="$max_len" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$out/$target-" "$@" > "$out/$target.log" 2>&1 || {
    tail -n 60 "$out/$target.log"
    echo "fuzzing $target found a fault; the input is in $out/"
    exit 1
  }
  grep -E '^Done' "$out/$target.log" || true
}
fuzz version_block_fuzz 4096 0 "$out/corpus" fuzz/corpus/version_block
# Its two thousand inputs take about half a minute to replay here.
fuzz entry_point_fuzz 1024 40 "$out/entry_corpus" fuzz/corpus/entry_point
# Inputs of up to 64 KiB: room for a picture of many restart intervals. The
# seeds above that size are read cut short.
fuzz jpeg_rows_fuzz 65536 0 "$out/jpeg_corpus" fuzz/corpus/jpeg_rows "$out/jpeg_seeds"
