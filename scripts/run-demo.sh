#!/usr/bin/env bash
# The main job on the bundled samples: convert each sample photo and print what it holds.
set -euo pipefail
build=${1:-build}
cli="$build/cli/vantifex-cli"
out=out/demo
mkdir -p "$out"
shopt -s nullglob
for f in samples/*.jpg samples/*.png; do
    name=$(basename "$f")
    echo "== $name"
    "$cli" info "$f"
    "$cli" convert "$f" "$out/${name%.*}.bmp" --out-type bmp || true
done
echo "Converted copies are in $out/"
