#!/bin/sh
# Catalog loading: the wall time of `earshot --locales` with one user catalog
# of ENTRIES entries (every mode loads the catalog, live "ready" included).
#
#   bench/store_catalog.sh [EARSHOT_BINARY] [ENTRIES] [ROUNDS]
#
# Prints each round's milliseconds.
set -eu
earshot=${1:-build/earshot}
entries=${2:-2000}
rounds=${3:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config/earshot/catalog.d"
python3 - "$entries" > "$work/config/earshot/catalog.d/big.json" <<'PY'
import itertools, json, string, sys
count = int(sys.argv[1])
# Deprecated language codes read back as others ("iw" as "he"): left out.
deprecated = {"in", "iw", "ji", "jw", "mo"}
tags = (a + b + "-" + region
        for a, b, region in itertools.product(string.ascii_lowercase, string.ascii_lowercase,
                                              ["US", "GB", "DE", "FR", "IN"])
        if a + b not in deprecated)
models = [{"locale": tag, "url": "https://m.example/%s.tar.gz" % tag, "size": 1234,
           "sha256": "a" * 64, "format": "tar.gz", "acousticModel": "m/a",
           "languageModel": "m/l", "dictionary": "m/d"}
          for tag in itertools.islice(tags, count)]
json.dump({"models": models}, sys.stdout)
PY
for round in $(seq "$rounds"); do
  start=$(date +%s%N)
  env -i HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
    XDG_CACHE_HOME="$work/cache" XDG_DATA_DIRS="$work/system" "$earshot" --locales > "$work/out"
  end=$(date +%s%N)
  listed=$(grep -o '"[a-z][a-z]-[A-Z][A-Z]"' "$work/out" | sort -u | wc -l)
  echo "round $round: $(((end - start) / 1000000)) ms, $listed locales listed"
done
