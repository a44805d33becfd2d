#!/usr/bin/env bash
# Runs every benchmark executable of a bench build, one after the other.
set -euo pipefail
build=${1:-build-bench}
for b in "$build"/bench/*_bench; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b" --benchmark_counters_tabular=true
done
