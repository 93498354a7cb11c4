#!/bin/sh
# Runs a host and checks that it succeeded and printed every expected word.
#   expect_words.sh "word word ..." command [argument ...]
set -u
words=$1
shift
# A state folder of this run's own, never the user's.
XDG_STATE_HOME=$(mktemp -d)
export XDG_STATE_HOME
trap 'rm -rf "$XDG_STATE_HOME"' EXIT
out=$("$@")
status=$?
if [ "$status" -ne 0 ]; then
  echo "exit status $status; output: $out" >&2
  exit 1
fi
for word in $words; do
  case " $(echo "$out" | tr '\n' ' ') " in
    *" $word "*) ;;
    *) echo "missing \"$word\" in: $out" >&2; exit 1 ;;
  esac
done
echo "$out"
