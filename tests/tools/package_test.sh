#!/bin/sh
# Builds the Debian package from a build tree, unpacks it into a temporary
# root and runs the installed programs from there.
#   package_test.sh BUILD_DIR
set -eu
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  exit 1
fi
deb=$(ls "$work"/out/*.deb)

# Package names, versions dropped: "libc6 (>= 2.34), libicu72 ..." -> one per line.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/(.*)//; s/ //g')
for needed in libpocketsphinx3 libsoxr0 libsimdjson14 libicu72 libsndfile1 pocketsphinx-en-us; do
  if ! echo "$depends" | grep -qx "$needed"; then
    echo "Depends lacks $needed:" $depends >&2
    exit 1
  fi
done

dpkg-deb -x "$deb" "$work/root"
for file in usr/bin/earshot usr/bin/earshot-feed usr/share/doc/earshot/protocol.md \
            usr/share/doc/earshot/examples/host.py usr/share/doc/earshot/examples/host.mjs \
            usr/share/doc/earshot/clients/python/earshot_client/__init__.py \
            usr/share/doc/earshot/clients/node/src/index.js; do
  [ -e "$work/root/$file" ] || { echo "missing /$file" >&2; exit 1; }
done

out=$("$work/root/usr/bin/earshot" --locales 2>"$work/err")
if [ -s "$work/err" ] || [ "$(printf '%s\n' "$out" | wc -l)" -ne 1 ]; then
  echo "expected one line and no standard error; got: $out / $(cat "$work/err")" >&2
  exit 1
fi
case "$out" in
  '{"type":"locales",'*) ;;
  *) echo "not a locales line: $out" >&2; exit 1 ;;
esac

# The installed host tool finds the installed earshot beside it.
table=$("$work/root/usr/bin/earshot-feed" --locales)
case "$table" in
  Locale*) echo "$table" ;;
  *) echo "earshot-feed --locales printed: $table" >&2; exit 1 ;;
esac

# The installed Python host example runs with the library installed beside it.
words=$(python3 "$work/root/usr/share/doc/earshot/examples/host.py" "$work/root/usr/bin/earshot" \
        /usr/share/pocketsphinx/test/data/goforward.raw)
# One final with its times: "  0.00-  2.60  Go forward 10 meters."
case "$words" in
  *[0-9]"  Go forward 10 meters.") ;;
  *) echo "host.py printed: $words" >&2; exit 1 ;;
esac

# The man pages: installed, and read by man without a warning; earshot-feed's
# lists the flags that --help lists.
for page in earshot earshot-feed; do
  file="$work/root/usr/share/man/man1/$page.1"
  [ -e "$file" ] || { echo "missing /usr/share/man/man1/$page.1" >&2; exit 1; }
  text=$(MANWIDTH=80 man --warnings -l "$file" 2>"$work/man.err")
  if [ -s "$work/man.err" ]; then
    echo "man warns about $page.1: $(cat "$work/man.err")" >&2
    exit 1
  fi
  for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" "SEE ALSO"; do
    printf '%s\n' "$text" | grep -qx "$section" || { echo "$page.1 lacks $section" >&2; exit 1; }
  done
done
feedPage=$(MANWIDTH=200 man -l "$work/root/usr/share/man/man1/earshot-feed.1" 2>/dev/null)
for flag in $("$work/root/usr/bin/earshot-feed" --help | grep -o '^  \(-h, \)\?--[a-z-]*' | sed 's/.* //'); do
  printf '%s\n' "$feedPage" | grep -q -- "$flag" || { echo "earshot-feed.1 lacks $flag" >&2; exit 1; }
done
