#!/usr/bin/env bash
# Installs the Debian packages the build, tests, benchmarks and fuzzers need.
# A quick no-op when everything is present; apt-get update runs only when something is missing.
set -euo pipefail

packages=(
    g++ cmake ninja-build make pkg-config
    libjpeg62-turbo-dev libpng-dev libtiff-dev zlib1g-dev
    libgtest-dev libbenchmark-dev
    clang libclang-rt-14-dev
    qt6-base-dev libqt6svg6 fonts-dejavu-core
    xvfb xauth x11-utils imagemagick desktop-file-utils
)

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
