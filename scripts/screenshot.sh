#!/usr/bin/env bash
# Screenshot of the real vantifex window: starts it under Xvfb at 1600x1000, waits until its
# window is mapped and the photo is drawn, saves the screen as OUT.png and ends the program.
# usage: scripts/screenshot.sh OUT.png [PATH] (PATH: a photo or a folder; the build in
# $BUILD, default build/)
set -euo pipefail
out=${1:?usage: scripts/screenshot.sh OUT.png [PATH]}
path=${2:-}
build=${BUILD:-build}
bin="$build/app/vantifex"
[ -x "$bin" ] || { echo "screenshot: $bin is not built (make build)"; exit 1; }
for tool in xvfb-run xwininfo import; do
    command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (scripts/install-deps.sh)"; exit 1; }
done
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
if [ -n "$path" ]; then
    case "$path" in /*) ;; *) path="$PWD/$path" ;; esac
fi

inner=$(mktemp)
trap 'rm -f "$inner"' EXIT
cat >"$inner" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
bin=$1; out=$2; path=${3:-}
"$bin" ${path:+"$path"} &
pid=$!
# Wait (up to 20 s) for a mapped window titled Vantifex.
for _ in $(seq 200); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Vantifex'; then break; fi
    sleep 0.1
done
# With a photo, wait until the title names it (the load has finished), then let it paint.
if [ -n "$path" ]; then
    for _ in $(seq 200); do
        if xwininfo -root -tree 2>/dev/null | grep -q "\"Vantifex - .*$(basename "$path")\""; then
            break
        fi
        sleep 0.1
    done
fi
sleep 1
import -window root "$out"
kill "$pid"
wait "$pid" 2>/dev/null || true
INNER
chmod +x "$inner"
xvfb-run -a -s "-screen 0 1600x1000x24" "$inner" "$bin" "$out" "$path"
echo "screenshot: $out"
