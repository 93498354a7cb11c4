#!/bin/sh
# Download throughput of the model store against the curl program, on the
# same file from the same loopback server (tests/platform/linux/store/loopback_server.py).
#
#   bench/store_download.sh [BUILD_DIR] [MEGABYTES] [ROUNDS]
#
# Prints each round's seconds, then the best and the median of each side.
set -eu
build=${1:-build}
megabytes=${2:-256}
rounds=${3:-5}
here=$(cd "$(dirname "$0")/.." && pwd)
fetch="$build/bench/store_fetch"
[ -x "$fetch" ] || { echo "build $fetch first (ninja -C $build store_fetch)" >&2; exit 1; }

work=$(mktemp -d)
trap 'exec 3>&-; rm -rf "$work"' EXIT
mkdir "$work/srv"
head -c "$((megabytes * 1048576))" /dev/urandom > "$work/srv/model.bin"
size=$(stat -c %s "$work/srv/model.bin")
sha=$(sha256sum "$work/srv/model.bin" | cut -d' ' -f1)

# The server leaves when this script closes descriptor 3 (its standard input).
mkfifo "$work/stdin"
python3 "$here/tests/platform/linux/store/loopback_server.py" "$work/srv" "$work/log" --lifetime 900 \
  < "$work/stdin" > "$work/port" &
exec 3> "$work/stdin"
while [ ! -s "$work/port" ]; do sleep 0.1; done
url="http://127.0.0.1:$(cat "$work/port")/ok/model.bin"
export no_proxy=127.0.0.1

seconds() { # command...
  start=$(date +%s.%N)
  "$@" > /dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }'
}

best_curl=999999
best_store=999999
i=0
while [ "$i" -lt "$rounds" ]; do
  c=$(seconds curl -s -f -o "$work/curl.out" "$url")
  s=$("$fetch" "$url" "$size" "$sha" "$work/store.out")
  v=$(seconds sh -c 'curl -s -f -o "$1" "$2" && sha256sum "$1"' - "$work/verified.out" "$url")
  echo "$v" >> "$work/verified.times"
  printf 'round %d: curl %.3f s, store %.3f s, curl then sha256sum %.3f s\n' "$i" "$c" "$s" "$v"
  echo "$c" >> "$work/curl.times"
  echo "$s" >> "$work/store.times"
  best_curl=$(awk -v a="$c" -v b="$best_curl" 'BEGIN { print (a < b) ? a : b }')
  best_store=$(awk -v a="$s" -v b="$best_store" 'BEGIN { print (a < b) ? a : b }')
  rm -f "$work/curl.out" "$work/store.out" "$work/verified.out"
  i=$((i + 1))
done
printf 'file: %d MB over loopback, %d rounds\n' "$megabytes" "$rounds"
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
awk -v m="$megabytes" -v c="$best_curl" -v s="$best_store" \
    -v mc="$(median "$work/curl.times")" -v ms="$(median "$work/store.times")" \
    -v mv="$(median "$work/verified.times")" 'BEGIN {
  printf "curl:  best %.0f MB/s, median %.0f MB/s\n", m / c, m / mc
  printf "store: best %.0f MB/s, median %.0f MB/s (download with size and SHA-256 checks)\n", m / s, m / ms
  printf "store time / curl time: best %.3f, median %.3f\n", s / c, ms / mc
  printf "curl then sha256sum: median %.0f MB/s\n", m / mv
}'
