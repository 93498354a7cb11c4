#!/bin/sh
# The program started with standard input, output or error closed, as a
# careless host may do. Nothing it writes may land in a file it opens (the
# model store's lock file, a download), and each mode still ends normally.
# Usage: closed_stdio_test.sh EARSHOT LOOPBACK_SERVER
set -u
earshot=$1
server=$2
root=$(mktemp -d)
trap 'exec 3>&-; rm -rf "$root"' EXIT
export HOME="$root/home" XDG_DATA_HOME="$root/data" XDG_CONFIG_HOME="$root/config" \
  XDG_CACHE_HOME="$root/cache" XDG_DATA_DIRS="$root/none"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# A small model offered as fr-FR by the loopback server (the engine's English
# acoustic model with a one-word language model and dictionary: --install
# loads what it installs), throttled so that the download takes about two
# seconds and the progress poller writes while the store's files are open.
# The server runs until descriptor 3 closes.
mkdir -p "$root/stage/m" "$XDG_CONFIG_HOME/earshot/catalog.d"
cp -r "$(pkg-config --variable=modeldir pocketsphinx)/en-us/en-us" "$root/stage/m/acoustic"
printf '\\data\\\nngram 1=3\n\n\\1-grams:\n-0.5 </s>\n-99 <s>\n-0.5 bonjour\n\n\\end\\\n' \
  >"$root/stage/m/m.lm"
echo "bonjour B AO N ZH UW R" >"$root/stage/m/m.dict"
tar -C "$root/stage" -cf "$root/m.tar" m
mkfifo "$root/hold"
python3 "$server" "$root" "$root/requests" --rate $(($(stat -c %s "$root/m.tar") / 2)) \
  --lifetime 120 <"$root/hold" >"$root/port" &
exec 3>"$root/hold"
while [ ! -s "$root/port" ]; do sleep 0.1; done
cat >"$XDG_CONFIG_HOME/earshot/catalog.d/test.json" <<JSON
{"models":[{"locale":"fr-FR","url":"http://127.0.0.1:$(head -n1 "$root/port")/slow/m.tar","size":$(stat -c %s "$root/m.tar"),
"sha256":"$(sha256sum "$root/m.tar" | cut -d' ' -f1)","format":"tar",
"acousticModel":"m/acoustic","languageModel":"m/m.lm","dictionary":"m/m.dict"}]}
JSON

# Runs the program with its arguments; $closed names the standard
# descriptors to close (in, out, err). Sets $out, $err and $status.
run() {
  : >"$root/out"
  : >"$root/err"
  case $closed in
    in) "$earshot" "$@" <&- >"$root/out" 2>"$root/err" ;;
    out) "$earshot" "$@" <"$root/input" >&- 2>"$root/err" ;;
    err) "$earshot" "$@" <"$root/input" >"$root/out" 2>&- ;;
  esac
  status=$?
  out=$(cat "$root/out")
  err=$(cat "$root/err")
}

expect() {  # what, expected status, expected output ('-' for none)
  [ "$status" = "$2" ] || fail "$1: status $status, expected $2"
  [ "$3" = - ] || [ "$out" = "$3" ] || fail "$1: wrote '$out', expected '$3'"
  [ -z "$err" ] || fail "$1: wrote to stderr: $err"
  for file in $(grep -rls '"type"' "$XDG_DATA_HOME" "$XDG_CACHE_HOME"); do
    fail "$1: protocol output landed in $file"
    : >"$file"  # judge the next case on its own
  done
}

: >"$root/input"
closed=out run --install fr-FR
expect "--install with stdout closed" 0 -
closed=err run --locales
expect "--locales with stderr closed" 0 \
  '{"type":"locales","available":true,"supported":["en-US","fr-FR"],"installed":["en-US","fr-FR"],"reserved":["fr-FR"],"maxReserved":5}'
closed=out run --release fr-FR
expect "--release with stdout closed" 0 -
closed=err run --locales
expect "--locales after the release" 0 \
  '{"type":"locales","available":true,"supported":["en-US","fr-FR"],"installed":["en-US"],"reserved":[],"maxReserved":5}'
closed=in run
expect "live mode with stdin closed" 1 '{"type":"error","message":"Expected init message"}'
printf '{"type":"init","locale":"en-US"}\n{"type":"audio","sampleRate":16000,"pcm":"AAAAAA=="}\n{"type":"stop"}\n' \
  >"$root/input"
closed=out run
expect "live mode with stdout closed" 0 -
closed=err run
expect "live mode with stderr closed" 0 \
  "$(printf '{"type":"ready","locale":"en-US","sampleRate":16000}\n{"type":"stopped"}')"

[ "$failures" = 0 ] && echo "all closed-descriptor cases pass"
[ "$failures" = 0 ]
