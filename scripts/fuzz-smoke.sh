#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan, UBSan) and runs each for a short
# while from its seeds: FUZZ_SECONDS per target (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
targets=(regex_compile_fuzz regex_match_fuzz regex_memo_fuzz regex_prefilter_fuzz regex_subst_fuzz regex_trans_fuzz jcode_fuzz unicode_fuzz)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"
for target in "${targets[@]}"; do
  corpus=$(mktemp -d)
  seeds=tests/fuzz/seeds/${target%_fuzz}
  options=()
  [[ $target == regex_* ]] && options+=(-dict=tests/fuzz/regex.dict)
  echo "== $target ($seconds s)"
  build/fuzz/tests/fuzz/$target -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 "${options[@]}" \
    -print_final_stats=1 "$corpus" "$seeds" 2>&1 | grep -E "^(#|stat::number_of_executed_units|==|SUMMARY)" | tail -3
  rm -rf "$corpus"
done
