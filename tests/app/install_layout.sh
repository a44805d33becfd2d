#!/usr/bin/env bash
# cmake --install puts both programs in bin/, the desktop entry and the hicolor icon in place.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/vantifex bin/vantifex-cli share/applications/vantifex.desktop \
         share/icons/hicolor/scalable/apps/vantifex.svg; do
    [ -e "$prefix/$f" ] || { echo "missing after install: $f"; exit 1; }
done
[ -x "$prefix/bin/vantifex" ] || { echo "bin/vantifex is not executable"; exit 1; }
desktop-file-validate "$prefix/share/applications/vantifex.desktop"
grep -qx 'Exec=vantifex %f' "$prefix/share/applications/vantifex.desktop"
grep -q '^Categories=.*Graphics;.*Photography;' "$prefix/share/applications/vantifex.desktop"
"$prefix/bin/vantifex" --version | grep -q '^vantifex '
echo "installed layout complete"
