#!/usr/bin/python3
"""A stand-in for earshot that replays a recorded conversation, for testing
the host libraries' own logic in milliseconds and without an engine.

The conversation is the file named by $STAND_IN_CONVERSATION, one entry a
line:

    > TYPE        a line the host sends ("init", "audio", "flush", "stop")
    < LINE        a line written as it stands (it need not be JSON)
    ! exit N      exit with status N at once
    ! kill NAME   die of signal NAME (e.g. SIGKILL)
    ! sleep S     wait S seconds
    ! hang        stop reading and writing, for ever
    ! grandchild  start a process that holds the output pipe open for 60 s
    # ...         a comment

What comes before the first "> " entry is written at once. Each line the
host sends is matched with the next "> " entry of its type, and what follows
that entry, up to the next "> " entry, is its answer; the entries skipped on
the way are written too, except that audio the conversation does not have
is taken without an answer. The end of input counts as a "stop". When the
conversation runs out, the stand-in reads on and exits 0 at a "stop".

Audio lines are checked as earshot checks them. Every line read is logged
to $STAND_IN_LOG when set: its type, and for valid audio the sample rate as\nwritten and the number of sample bytes."""

import base64
import binascii
import json
import os
import signal
import subprocess
import sys
import time


def read_conversation(path):
    entries = []
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            entries.append((line[0], line[2:]))
    return entries


def valid_audio(message):
    rate = message.get("sampleRate")
    if isinstance(rate, bool) or not isinstance(rate, (int, float)) or not 8000 <= rate <= 192000:
        return False
    pcm = message.get("pcm")
    if not isinstance(pcm, str):
        return False
    try:
        return len(base64.b64decode(pcm, validate=True)) % 2 == 0
    except (binascii.Error, ValueError):
        return False


class StandIn:
    def __init__(self, entries, log):
        self.entries = entries
        self.at = 0
        self.log = log
        self.out = sys.stdout.buffer

    def write(self, line):
        self.out.write(line.encode() + b"\n")
        self.out.flush()

    def perform(self, directive):
        word, _, argument = directive.partition(" ")
        if word == "exit":
            os._exit(int(argument))
        elif word == "kill":
            os.kill(os.getpid(), getattr(signal, argument))
            time.sleep(10)
        elif word == "sleep":
            time.sleep(float(argument))
        elif word == "hang":
            while True:
                time.sleep(3600)
        elif word == "grandchild":
            subprocess.Popen(["sleep", "60"], stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             start_new_session=True)

    def play_until_host(self):
        """Writes and performs entries up to the next "> " entry."""
        while self.at < len(self.entries) and self.entries[self.at][0] != ">":
            kind, text = self.entries[self.at]
            self.at += 1
            if kind == "<":
                self.write(text)
            else:
                self.perform(text)

    def answer(self, kind):
        """Answers a host line of `kind`; False once the session is over."""
        rest = [i for i in range(self.at, len(self.entries))
                if self.entries[i] == (">", kind)]
        if not rest:
            return kind != "stop"
        if kind == "audio" and self.at < len(self.entries) and self.entries[self.at] != (">", kind):
            return True  # audio the conversation does not have
        while self.at < rest[0]:
            kind_, text = self.entries[self.at]
            self.at += 1
            if kind_ == "<":
                self.write(text)
            elif kind_ == "!":
                self.perform(text)
        self.at += 1
        self.play_until_host()
        return kind != "stop"

    @staticmethod
    def describe(kind, message):
        if kind != "audio" or not valid_audio(message):
            return str(kind)
        return "audio %s %d" % (json.dumps(message["sampleRate"]),
                                len(base64.b64decode(message["pcm"])))

    def run(self):
        self.play_until_host()
        for raw in sys.stdin.buffer:
            try:
                message = json.loads(raw)
                kind = message.get("type")
            except (ValueError, AttributeError):
                message, kind = None, None
            if self.log:
                with open(self.log, "a") as f:
                    f.write(self.describe(kind, message) + "\n")
            if kind == "audio" and not valid_audio(message):
                self.write('{"type":"error","message":"Expected mono Int16 PCM with a valid '
                           'sample rate"}')
                os._exit(1)
            if not self.answer(kind):
                os._exit(0)
        self.answer("stop")
        os._exit(0)


def main():
    StandIn(read_conversation(os.environ["STAND_IN_CONVERSATION"]),
            os.environ.get("STAND_IN_LOG")).run()


if __name__ == "__main__":
    main()
