#!/bin/sh
# Install time and peak disk use of a model published file by file, over
# the loopback server (tests/platform/linux/store/loopback_server.py): the
# Debian en-US acoustic model with "means" in three parts, its dictionary
# gzipped and a gzipped ARPA language model, which the install converts.
#
#   bench/store_files.sh EARSHOT ARPA [ROUNDS]
#
# bench/arpa_from_dictionary.py writes a real-size ARPA model over the
# dictionary's words (the engine loads a dictionary of many words its
# language model lacks very slowly). Prints each round's seconds and the peak bytes below the
# store and the download cache (sampled every 0.1 s).
set -eu
earshot=$(realpath "$1")
arpa=$2
rounds=${3:-3}
here=$(cd "$(dirname "$0")/.." && pwd)
model=$(pkg-config --variable=modeldir pocketsphinx)/en-us

work=$(mktemp -d)
trap 'exec 3>&-; rm -rf "$work"' EXIT
mkdir -p "$work/srv" "$work/system/earshot/catalog.d"
for f in "$model"/en-us/*; do cp "$f" "$work/srv/$(basename "$f")"; done
split -n 3 -d -a 2 "$work/srv/means" "$work/srv/means.part-"
rm "$work/srv/means"
gzip -c "$model/cmudict-en-us.dict" > "$work/srv/base_dictionary.txt.gz"
gzip -1 -c "$arpa" > "$work/srv/base_language_model.txt.gz"

mkfifo "$work/stdin"
python3 "$here/tests/platform/linux/store/loopback_server.py" "$work/srv" "$work/log" \
  --lifetime 3600 < "$work/stdin" > "$work/port" &
exec 3> "$work/stdin"
while [ ! -s "$work/port" ]; do sleep 0.1; done
base="http://127.0.0.1:$(cat "$work/port")/ok"

entry() { # path served-name
  printf '{"path": "%s", "url": "%s/%s", "size": %s, "sha256": "%s"}' "$1" "$base" "$2" \
    "$(stat -c %s "$work/srv/$2")" "$(sha256sum "$work/srv/$2" | cut -d' ' -f1)"
}
{
  printf '{"models": [{"locale": "en-IN", "acousticModel": "acoustic_model",\n'
  printf ' "languageModel": "base_language_model.txt.gz", "dictionary": "base_dictionary.txt.gz",\n'
  printf ' "files": [\n'
  for f in "$model"/en-us/*; do
    name=$(basename "$f")
    [ "$name" = means ] && continue
    entry "acoustic_model/$name" "$name"
    printf ',\n'
  done
  printf '{"path": "acoustic_model/means", "parts": ['
  sep=
  for p in "$work"/srv/means.part-*; do
    printf '%s{"url": "%s/%s", "size": %s, "sha256": "%s"}' "$sep" "$base" "$(basename "$p")" \
      "$(stat -c %s "$p")" "$(sha256sum "$p" | cut -d' ' -f1)"
    sep=', '
  done
  printf ']},\n'
  entry base_dictionary.txt.gz base_dictionary.txt.gz
  printf ',\n'
  entry base_language_model.txt.gz base_language_model.txt.gz
  printf ']}]}\n'
} > "$work/system/earshot/catalog.d/bench.json"
printf 'downloads: %s bytes\n' "$(du -cb "$work"/srv/* | tail -1 | cut -f1)"

export no_proxy=127.0.0.1 XDG_DATA_DIRS="$work/system" XDG_CONFIG_HOME="$work/config"
i=0
while [ "$i" -lt "$rounds" ]; do
  home="$work/home$i"
  mkdir -p "$home/data" "$home/cache"
  start=$(date +%s.%N)
  XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" XDG_STATE_HOME="$home/state" \
    "$earshot" --install en-IN > "$work/out" &
  pid=$!
  peak=0
  while kill -0 "$pid" 2> /dev/null; do
    used=$(du -sb "$home" 2> /dev/null | cut -f1)
    [ "$used" -gt "$peak" ] && peak=$used
    sleep 0.1
  done
  wait "$pid" || { cat "$work/out"; exit 1; }
  end=$(date +%s.%N)
  tail -1 "$work/out"
  awk -v a="$start" -v b="$end" -v p="$peak" -v f="$(du -sb "$home/data" | cut -f1)" \
    -v r="$i" 'BEGIN { printf "round %d: %.2f s, peak %d bytes, installed %d bytes\n", r, b - a, p, f }'
  i=$((i + 1))
done
