#!/usr/bin/env bash
# The core includes no Qt header and the headless CLI loads no Qt library.
set -euo pipefail
src=$1
cli=$2
cd "$src"
found=$(grep -rlE '#\s*include\s*[<"](Q[A-Za-z]|Qt[A-Za-z]*/)' image formats enhance metadata cli \
            browse/*.h browse/*.cpp workflow/*.h workflow/*.cpp print/*.h print/*.cpp || true)
if [ -n "$found" ]; then
    echo "Qt headers in the core:"; echo "$found"; exit 1
fi
if ldd "$cli" | grep -i 'libQt'; then
    echo "vantifex-cli links Qt"; exit 1
fi
echo "core and vantifex-cli are free of Qt"
