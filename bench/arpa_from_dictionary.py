#!/usr/bin/env python3
"""Writes a real-size ARPA trigram model over the words of a dictionary.

    arpa_from_dictionary.py DICTIONARY OUT.lm [BIGRAMS] [TRIGRAMS]

Every word of DICTIONARY (the Debian en-US one has 126k) is a unigram;
BIGRAMS random word pairs (default 1,000,000) and TRIGRAMS extensions of
them (default 1,000,000) follow, with made-up probabilities. The engine's
own ARPA writer cannot write the Debian model's binary form back as text
(it stops on an assertion), so the language model benchmarks use this one,
of a similar size.
"""
import random
import sys


def main():
    dictionary, out = sys.argv[1], sys.argv[2]
    n2 = int(sys.argv[3]) if len(sys.argv) > 3 else 1000000
    n3 = int(sys.argv[4]) if len(sys.argv) > 4 else 1000000
    words = []
    seen = set()
    with open(dictionary, encoding="utf-8") as f:
        for line in f:
            word = line.split(" ", 1)[0].split("(", 1)[0]
            if word and word not in seen:
                seen.add(word)
                words.append(word)
    rng = random.Random(7)
    bigrams = set()
    while len(bigrams) < n2:
        bigrams.add((rng.choice(words), rng.choice(words)))
    bigram_list = sorted(bigrams)
    trigrams = set()
    while len(trigrams) < n3:
        a, b = rng.choice(bigram_list)
        trigrams.add((a, b, rng.choice(words)))
    with open(out, "w", encoding="utf-8") as f:
        f.write("\\data\\\n")
        f.write("ngram 1=%d\nngram 2=%d\nngram 3=%d\n\n" % (len(words) + 2, n2, n3))
        f.write("\\1-grams:\n-99 <s> -0.5\n-1.5 </s> 0\n")
        for w in words:
            f.write("%.4f %s %.4f\n" % (-rng.uniform(3, 7), w, -rng.uniform(0.1, 1)))
        f.write("\n\\2-grams:\n")
        for a, b in bigram_list:
            f.write("%.4f %s %s %.4f\n" % (-rng.uniform(1, 4), a, b, -rng.uniform(0.1, 1)))
        f.write("\n\\3-grams:\n")
        for a, b, c in sorted(trigrams):
            f.write("%.4f %s %s %s\n" % (-rng.uniform(0.5, 3), a, b, c))
        f.write("\n\\end\\\n")


main()
