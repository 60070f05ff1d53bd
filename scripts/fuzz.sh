#!/usr/bin/env bash
# Runs each libFuzzer target for FUZZ_SECONDS (default 60), seeded from the BMP test suite
# (the image target from the PNG test suite, the GIF target from fuzz/gif_seeds: small
# animations and damaged ones, made by fuzz/gif_seeds.py).
# Findings are written to build/fuzz/findings/; a crash fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
cmake --preset fuzz -DTW_WERROR=$([ -n "${TW_WERROR:-}" ] && echo ON || echo OFF) >/dev/null
cmake --build --preset fuzz
bmpSeeds=../shared/corpus/bmpsuite
pngSeeds=../shared/corpus/pngsuite
mkdir -p build/fuzz/findings
status=0
for target in bmp_layout exact diffusion palette image gif; do
  corpus=build/fuzz/corpus-$target
  mkdir -p "$corpus"
  seeds=$bmpSeeds pattern='*.bmp'
  if [ "$target" = image ]; then
    seeds=$pngSeeds pattern='*.png'
  elif [ "$target" = gif ]; then
    seeds=fuzz/gif_seeds pattern='*.gif'
  fi
  if [ -d "$seeds" ]; then
    find "$seeds" -name "$pattern" -size -200k -exec cp -n {} "$corpus/" \; 2>/dev/null || true
  fi
  echo "fuzz: $target for ${seconds}s"
  if ! "build/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
      -rss_limit_mb=2048 -artifact_prefix=build/fuzz/findings/"$target"- -print_final_stats=1 \
      "$corpus" > "build/fuzz/$target.log" 2>&1; then
    echo "fuzz: $target FAILED, see build/fuzz/$target.log"
    status=1
  fi
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "build/fuzz/$target.log" | sed "s/^/fuzz: $target: /"
done
exit $status
