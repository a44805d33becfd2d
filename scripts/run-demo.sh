#!/usr/bin/env bash
# The main job on the bundled samples: correct every sample photo with a pleasant setting
# (more contrast, a little warmer and brighter) into samples/enhanced/.
set -euo pipefail
build=${1:-build}
cli="$build/cli/vantifex-cli"
shopt -s nullglob
photos=(samples/*.jpg samples/*.jpeg samples/*.png samples/*.bmp samples/*.gif)
if [ ${#photos[@]} -eq 0 ]; then
    echo "No sample photos in samples/; nothing to correct."
    exit 0
fi
echo "Correcting ${#photos[@]} sample photos: contrast +8, brightness +4, orange +1, skin +1 (warmer, livelier)"
"$cli" enhance --contrast 8 --brightness 4 --orange 1 --skin 1 samples
echo
echo "The corrected photos are in samples/enhanced/ (enh_ + the original name):"
for f in samples/enhanced/enh_*; do
    echo "  $f"
done
