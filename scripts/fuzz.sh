#!/usr/bin/env bash
# Runs one fuzz target for a number of seconds on its seed corpus: scripts/fuzz.sh jpeg 300
set -euo pipefail
name=$1
seconds=${2:-60}
target=build-fuzz/fuzz/${name}_fuzz
corpus=fuzz/corpus/$name
work=build-fuzz/corpus-$name
mkdir -p "$work" build-fuzz/artifacts
"$target" "$work" "$corpus" -max_total_time="$seconds" -rss_limit_mb=4096 -max_len=262144 \
    -artifact_prefix=build-fuzz/artifacts/"$name"- -print_final_stats=1
