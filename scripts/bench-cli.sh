#!/usr/bin/env bash
# Whole-program figures of "vantifex-cli enhance" on 6000 x 4000 photos, measured with
# /usr/bin/time -v: (c) throughput with --jobs 2 against --jobs 1 on 8 photos, with the
# outputs compared byte for byte; (d) peak memory per pixel for one photo.
# Usage: scripts/bench-cli.sh [BUILD_DIR]   (a Release build with VFX_BENCH=ON, as make bench)
set -euo pipefail
build=${1:-build-bench}
cli="$build/cli/vantifex-cli"
maker="$build/bench/enhance_bench"
for tool in "$cli" "$maker" /usr/bin/time; do
    [ -x "$tool" ] || { echo "bench-cli: $tool is missing (run make bench first)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
settings=(--sharpen 1 --contrast 10 --white-balance 000c0c0c --brightness 5 --red 3)
pixels=$((6000 * 4000))

echo "== making 8 photos of 6000 x 4000 in $work/in"
mkdir -p "$work/in"
"$maker" --make-photos "$work/in" 8 >/dev/null

run() {  # run LABEL ARGS...: time one enhance run, print seconds and peak RSS in kB
    local label=$1
    shift
    /usr/bin/time -v -o "$work/$label.time" "$cli" enhance "${settings[@]}" "$@" \
        >"$work/$label.out" 2>"$work/$label.err"
    local wall rss
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/$label.time")
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/$label.time")
    echo "$label: wall $wall, peak RSS ${rss} kB, $(tail -n 1 "$work/$label.out")"
}

seconds() {  # h:mm:ss or m:ss.cc -> seconds
    awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }' <<<"$1"
}

echo "== (c) 8 photos, --jobs 1 against --jobs 2 (the machine is shared: figures vary)"
run jobs1 --jobs 1 "$work/in" -o "$work/out1"
run jobs2 --jobs 2 "$work/in" -o "$work/out2"
t1=$(seconds "$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/jobs1.time")")
t2=$(seconds "$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/jobs2.time")")
awk -v a="$t1" -v b="$t2" 'BEGIN { printf "throughput --jobs 2 / --jobs 1: %.2fx (target >= 1.8x)\n", a / b }'
if diff -r "$work/out1" "$work/out2" >/dev/null; then
    echo "outputs of --jobs 1 and --jobs 2 are byte-identical"
else
    echo "outputs of --jobs 1 and --jobs 2 DIFFER" >&2
    exit 1
fi

echo "== (d) peak memory for one photo"
first=$(ls "$work/in" | head -n 1)
run single --jobs 1 "$work/in/$first" -o "$work/out3"
rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/single.time")
awk -v kb="$rss" -v px="$pixels" \
    'BEGIN { printf "peak RSS per pixel: %.2f bytes (target <= 12)\n", kb * 1024 / px }'
