#!/bin/sh
# Synthesizes the bench's own recordings with flite into OUT_DIR: every
# sentence of bench/speech/sentences.txt and names.txt in four voices. Each
# recording NAME gets NAME.wav (16 kHz), NAME.txt (its words, lower case),
# NAME.phones (flite's phones with their end times in seconds) and
# NAME.words (each word's phones as flite says them alone, one word a line),
# from which word boundaries follow exactly.
#   bench/speech_set.sh OUT_DIR
set -eu
out=$1
here=$(dirname "$0")/speech
mkdir -p "$out"
for set in sentences names; do
  n=0
  while IFS= read -r sentence; do
    n=$((n + 1))
    for voice in slt rms awb kal16; do
      name="$out/$set-$n-$voice"
      flite -voice "$voice" -psdur -t "$sentence" -o "$name.wav" > "$name.phones"
      printf '%s\n' "$sentence" | tr 'A-Z' 'a-z' > "$name.txt"
      : > "$name.words"
      for word in $sentence; do
        flite -voice "$voice" -ps -t "$word" none | sed 's/pau//g' >> "$name.words"
      done
    done
  done < "$here/$set.txt"
done
