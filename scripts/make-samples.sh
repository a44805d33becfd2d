#!/usr/bin/env bash
# Rebuilds the sample photos in samples/ with the project's own drawing and codecs:
# scripts/make-samples.sh [BUILD]. The build must have vfx_image and vfx_formats made.
set -euo pipefail
build=${1:-build}
cmake --build "$build" --target vfx_formats vfx_image >/dev/null
c++ -std=c++20 -O2 -Wall -Wextra -I. scripts/make_samples.cpp \
    "$build/libvfx_formats.a" "$build/libvfx_image.a" -ljpeg -lpng -ltiff -lz \
    -o "$build/make-samples"
mkdir -p samples
"$build/make-samples" samples
