#!/usr/bin/env bash
# Peak memory and time of `vantifex-cli info` on every small corrupt or hostile test file,
# beside a baseline tool when one is given (another build, the same files, the same run).
#   bench/hostile/hostile_files.sh CLI [BASELINE_CLI] [FOLDER...]
# Files of 64 KB and more are skipped: the bound is for small files.
set -euo pipefail
cli=${1:?usage: hostile_files.sh CLI [BASELINE_CLI] [FOLDER...]}
base=${2:-}
shift $(( $# >= 2 ? 2 : 1 ))
folders=("$@")
[ ${#folders[@]} -gt 0 ] || folders=("$(dirname "$0")/../../tests/data"/*/)

# Prints "KB SECONDS" for one run; a run over 60 s is stopped and shows as such.
measure() {
    local log
    log=$(mktemp)
    /usr/bin/time -o "$log" -f '%M %e' timeout 60 "$1" info "$2" >/dev/null 2>&1 || true
    tail -n 1 "$log"
    rm -f "$log"
}

printf '%-48s %7s %10s %8s' file bytes peak_KB seconds
[ -n "$base" ] && printf ' %10s %8s' base_KB base_s
printf '\n'
worst_kb=0 worst_s=0
for folder in "${folders[@]}"; do
    for f in "$folder"/bad-*; do
        [ -f "$f" ] || continue
        size=$(stat -c %s "$f")
        [ "$size" -lt 65536 ] || continue
        read -r kb s <<<"$(measure "$cli" "$f")"
        printf '%-48s %7d %10s %8s' "$(basename "$f")" "$size" "$kb" "$s"
        if [ -n "$base" ]; then
            read -r bkb bs <<<"$(measure "$base" "$f")"
            printf ' %10s %8s' "$bkb" "$bs"
        fi
        printf '\n'
        [ "$kb" -gt "$worst_kb" ] && worst_kb=$kb
        awk -v a="$s" -v b="$worst_s" 'BEGIN{exit !(a>b)}' && worst_s=$s
    done
done
echo "worst: $worst_kb KB, $worst_s s"
