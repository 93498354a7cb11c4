#!/usr/bin/env python3
"""Scores the written form on bench/speech/written-form.tsv.

flite speaks each sentence's spoken form in three voices; earshot transcribes
every recording with "textForm" "spoken" (one process per voice, a fresh
state folder each, a flush between recordings), and the bench tool writes
each final in the written form, as earshot does by default (--check compares
the two for the first voice).
Reports the written-form WER against the written references beside the
spoken-form WER against the spoken ones, capitalisation precision and recall,
closing punctuation accuracy, the number-phrase table
(bench/speech/number-phrases.tsv, formatted without the engine) and the
capitalisation of each cased word list on the same spoken transcripts.

    bench/written_form.py BUILD_DIR [WORK_DIR] [--check]
"""
import base64
import collections
import concurrent.futures
import json
import os
import subprocess
import sys
import tempfile
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
VOICES = ["slt", "rms", "awb"]
ABBREVIATIONS = {"Mr.", "Mrs.", "Dr.", "St.", "Ms."}
LISTS = {
    "wamerican": "/usr/share/dict/american-english",
    "wbritish": "/usr/share/dict/british-english",
    "hunspell-en-us": "/usr/share/hunspell/en_US.dic",
}


def table(name):
    rows = []
    with open(os.path.join(HERE, "speech", name)) as f:
        for line in f:
            line = line.rstrip("\n")
            if line and not line.startswith("#"):
                rows.append(tuple(line.split("\t")))
    return rows


def written_tokens(text):
    """Sentence punctuation is a token of its own; "$42.50", "7:15", "25,000"
    and "15%" are one token each, and so are titles ("Mr.")."""
    tokens = []
    for word in text.split():
        tail = []
        while word and word[-1] in ".?!,;:" and word not in ABBREVIATIONS:
            tail.insert(0, word[-1])
            word = word[:-1]
        if word:
            tokens.append(word)
        tokens.extend(tail)
    return tokens


def edits(ref, hyp):
    row = list(range(len(hyp) + 1))
    for i, r in enumerate(ref, 1):
        prev, row[0] = row[0], i
        for j, h in enumerate(hyp, 1):
            prev, row[j] = row[j], min(row[j] + 1, row[j - 1] + 1, prev + (r != h))
    return row[-1]


def capitalised(tokens):
    # The first word is sentence case, not a name.
    return collections.Counter(t for t in tokens[1:] if t[:1].isupper())


def synthesize(work, sentences):
    for n, (spoken, _) in enumerate(sentences):
        for voice in VOICES:
            path = os.path.join(work, "%d-%s.wav" % (n, voice))
            if not os.path.exists(path):
                subprocess.run(["flite", "-voice", voice, "-t", spoken, "-o", path], check=True)


def transcribe(earshot, work, count, voice, form):
    """The finals of each recording, a list per recording;
    kept in WORK_DIR, so a second run only scores (delete them after a
    change to earshot)."""
    cache = os.path.join(work, "%s-%s.json" % (voice, form))
    if os.path.exists(cache):
        with open(cache) as f:
            return json.load(f)
    texts = _transcribe(earshot, work, count, voice, form)
    with open(cache, "w") as f:
        json.dump(texts, f)
    return texts


def _transcribe(earshot, work, count, voice, form):
    lines = [json.dumps({"type": "init", "locale": "en-US", "acknowledgeFlush": True,
                         "textForm": form})]
    for n in range(count):
        with wave.open(os.path.join(work, "%d-%s.wav" % (n, voice)), "rb") as w:
            rate, pcm = w.getframerate(), w.readframes(w.getnframes())
        silence = bytes(int(rate * 0.3) * 2)
        pcm = silence + pcm + silence
        step = int(rate / 10) * 2
        for at in range(0, len(pcm), step):
            lines.append(json.dumps({"type": "audio", "sampleRate": rate,
                                     "pcm": base64.b64encode(pcm[at:at + step]).decode()}))
        lines.append('{"type":"flush"}')
    lines.append('{"type":"stop"}')
    with tempfile.TemporaryDirectory() as state:
        run = subprocess.run([earshot], input="\n".join(lines) + "\n", capture_output=True,
                             text=True, env=dict(os.environ, XDG_STATE_HOME=state), check=True)
    texts, finals = [], []
    for line in run.stdout.splitlines():
        message = json.loads(line)
        if message["type"] == "transcript" and message["isFinal"] and message["text"]:
            finals.append(message["text"])
        elif message["type"] == "flushed":
            texts.append(finals)
            finals = []
    return texts


def written_texts(tool, recordings, word_list=None):
    """Each recording's finals in the written form, joined by spaces: one run
    of the tool for all of them."""
    flat = [final for finals in recordings for final in finals]
    out = iter(formatted(tool, flat, word_list))
    return [" ".join(next(out) for _ in finals) for finals in recordings]


def formatted(tool, lines, word_list=None):
    command = [tool, "format"] + (["--list", word_list] if word_list else [])
    run = subprocess.run(command, input="\n".join(lines) + "\n", capture_output=True, text=True,
                         check=True)
    return run.stdout.split("\n")[:len(lines)]


def main():
    build = sys.argv[1]
    work = sys.argv[2] if len(sys.argv) > 2 and sys.argv[2] != "--check" else os.path.join(tempfile.gettempdir(),
                                                              "earshot-written-form")
    os.makedirs(work, exist_ok=True)
    earshot = os.path.join(build, "earshot")
    tool = os.path.join(build, "bench", "written_form")
    sentences = table("written-form.tsv")
    synthesize(work, sentences)

    # The spoken form through earshot, one process per voice, at once; the
    # written form is the same formatter on each final's words, run here by
    # the bench tool (the program's own written output is compared with it
    # for one voice with --check).
    with concurrent.futures.ThreadPoolExecutor(len(VOICES)) as pool:
        spoken_runs = list(pool.map(
            lambda voice: transcribe(earshot, work, len(sentences), voice, "spoken"), VOICES))
    if "--check" in sys.argv:
        through = [" ".join(finals) for finals in
                   transcribe(earshot, work, len(sentences), VOICES[0], "written")]
        offline = written_texts(tool, spoken_runs[0])
        same = sum(a == b for a, b in zip(through, offline))
        print("written form through earshot = the tool's on the same finals: %d / %d" % (
            same, len(through)))

    errors = collections.Counter()
    words = collections.Counter()
    caps = collections.Counter()
    closing = [0, 0]
    spoken_finals, refs = [], []
    for spoken in spoken_runs:
        for (spoken_ref, written_ref), finals, w in zip(sentences, spoken,
                                                        written_texts(tool, spoken)):
            s = " ".join(finals)
            ref_tokens, hyp_tokens = written_tokens(written_ref), written_tokens(w)
            errors["written"] += edits(ref_tokens, hyp_tokens)
            words["written"] += len(ref_tokens)
            errors["spoken"] += edits(spoken_ref.split(), s.split())
            words["spoken"] += len(spoken_ref.split())
            ref_caps, hyp_caps = capitalised(ref_tokens), capitalised(hyp_tokens)
            caps["hit"] += sum((ref_caps & hyp_caps).values())
            caps["hyp"] += sum(hyp_caps.values())
            caps["ref"] += sum(ref_caps.values())
            closing[0] += w[-1:] == written_ref[-1:]
            closing[1] += 1
            spoken_finals.append(finals)
            refs.append(written_ref)

    count = len(sentences) * len(VOICES)
    print("%d sentences x %d voices (%s): %d recordings" % (len(sentences), len(VOICES),
                                                           ", ".join(VOICES), count))
    print("| measure | value |")
    print("|---|---|")
    for form in ("spoken", "written"):
        print("| %s-form WER | %.1f%% (%d errors / %d reference tokens) |" % (
            form, 100.0 * errors[form] / words[form], errors[form], words[form]))
    print("| capitalisation precision | %.1f%% (%d / %d) |" % (
        100.0 * caps["hit"] / max(caps["hyp"], 1), caps["hit"], caps["hyp"]))
    print("| capitalisation recall | %.1f%% (%d / %d) |" % (
        100.0 * caps["hit"] / max(caps["ref"], 1), caps["hit"], caps["ref"]))
    print("| closing punctuation | %.1f%% (%d / %d) |" % (
        100.0 * closing[0] / closing[1], closing[0], closing[1]))

    phrases = table("number-phrases.tsv")
    got = formatted(tool, [spoken for spoken, _ in phrases])
    right = 0
    for (spoken, expected), out in zip(phrases, got):
        out = out.rstrip(".?")
        if out[:1].lower() + out[1:] == expected[:1].lower() + expected[1:]:
            right += 1
        else:
            print("number phrase: %r -> %r, expected %r" % (spoken, out, expected))
    print("| number phrases | %.1f%% (%d / %d) |" % (100.0 * right / len(phrases), right,
                                                      len(phrases)))

    print("\nCased word lists, on the same spoken transcripts:")
    print("| list | capitalisation precision | recall |")
    print("|---|---|---|")
    for name, path in LISTS.items():
        if not os.path.exists(path):
            continue
        hit = hyp = ref = 0
        for w, written_ref in zip(written_texts(tool, spoken_finals, path), refs):
            ref_caps, hyp_caps = capitalised(written_tokens(written_ref)), capitalised(
                written_tokens(w))
            hit += sum((ref_caps & hyp_caps).values())
            hyp += sum(hyp_caps.values())
            ref += sum(ref_caps.values())
        print("| %s | %.1f%% | %.1f%% |" % (name, 100.0 * hit / max(hyp, 1),
                                            100.0 * hit / max(ref, 1)))


if __name__ == "__main__":
    main()
