#!/usr/bin/env python3
"""A minimal earshot host in Python, standard library only.

Starts earshot, sends it one recording and prints each final transcript.

    host.py EARSHOT RECORDING [LOCALE]

RECORDING is a 16-bit mono WAV file at any rate from 8 to 192 kHz, or a
headerless file of 16 kHz signed 16-bit little-endian mono samples.
"""
import base64
import json
import subprocess
import sys
import threading
import wave


def read_recording(path):
    """Returns (sample bytes, sample rate)."""
    with open(path, "rb") as f:
        is_wav = f.read(4) == b"RIFF"
    if not is_wav:
        with open(path, "rb") as f:
            return f.read(), 16000
    with wave.open(path, "rb") as w:
        if w.getsampwidth() != 2 or w.getnchannels() != 1:
            sys.exit("host.py: the WAV file must be 16-bit mono")
        return w.readframes(w.getnframes()), w.getframerate()


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    earshot, path = sys.argv[1], sys.argv[2]
    locale = sys.argv[3] if len(sys.argv) > 3 else "en-US"
    pcm, rate = read_recording(path)

    child = subprocess.Popen([earshot], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    errors = []

    # Transcripts arrive while we are still sending, so read them on a thread
    # of their own: a host that reads only at the end can stall earshot.
    def read_output():
        for line in child.stdout:
            message = json.loads(line)
            kind = message.get("type")
            if kind == "transcript" and message["isFinal"] and message["text"]:
                print(message["text"], flush=True)
            elif kind == "error":
                errors.append(message["message"])

    reader = threading.Thread(target=read_output)
    reader.start()

    def send(message):
        child.stdin.write(json.dumps(message).encode("utf-8") + b"\n")

    try:
        send({"type": "init", "locale": locale})
        step = rate // 10 * 2  # 100 ms of audio: two bytes per sample
        for at in range(0, len(pcm), step):
            chunk = base64.b64encode(pcm[at:at + step]).decode("ascii")
            send({"type": "audio", "sampleRate": rate, "pcm": chunk})
        send({"type": "stop"})
        child.stdin.close()
    except BrokenPipeError:
        # earshot ended early; its "error" line says why.
        try:
            child.stdin.close()
        except BrokenPipeError:
            pass

    reader.join()
    status = child.wait()
    for text in errors:
        print(text, file=sys.stderr)
    return status


if __name__ == "__main__":
    sys.exit(main())
