#!/usr/bin/env bash
# Installs the Debian packages the build, tests, benchmarks and fuzzers need.
# A quick no-op when everything is present; apt-get update runs only when something is missing.
set -euo pipefail

packages=(
    g++ cmake ninja-build make pkg-config
    libjpeg62-turbo-dev libpng-dev libtiff-dev zlib1g-dev
    libexiv2-dev
    libgtest-dev libbenchmark-dev libimage-exiftool-perl
    clang clang-format
    qt6-base-dev libqt6svg6 fonts-dejavu-core
    xvfb xauth x11-utils imagemagick desktop-file-utils
    poppler-utils
    libheif-dev libheif-examples libwebp-dev webp libjxl-dev libjxl-tools libraw-dev libraw-bin
    liblcms2-dev libtomlplusplus-dev parallel libvips-tools
)

# The sanitizer and fuzzer runtime must match the clang in use: the package of its major
# version when clang is there, else the one that goes with the distribution's default clang.
clang_major=""
if command -v clang >/dev/null 2>&1; then
    clang_major=$(clang --version | sed -n 's/.*clang version \([0-9][0-9]*\)\..*/\1/p' | head -n 1)
fi
if [ -n "$clang_major" ]; then
    packages+=("libclang-rt-${clang_major}-dev")
else
    packages+=(libclang-rt-dev)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
