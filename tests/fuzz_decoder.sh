#!/usr/bin/env bash
# Builds the decoder's libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it for the given number of seconds.
# usage: fuzz_decoder.sh SOURCE_DIR BUILD_DIR SECONDS
set -euo pipefail
SRC="$1"; OUT="$2"; SECONDS_TO_RUN="${3:-20}"
if ! command -v clang++ >/dev/null; then echo "clang++ not found: fuzzing skipped"; exit 0; fi
mkdir -p "$OUT/fuzz-corpus"
printf '+ 12 0\r\n' > "$OUT/fuzz-corpus/plain"
printf '            - 3 3\r\n + 4 5\r\n' > "$OUT/fuzz-corpus/two"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$SRC/src" \
  "$SRC/tests/decoder_fuzz.cpp" "$SRC/src/link/reading_decoder.cpp" \
  -o "$OUT/decoder_fuzz"
"$OUT/decoder_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=256 -print_final_stats=1 \
  "$OUT/fuzz-corpus" 2>&1 | tail -12
