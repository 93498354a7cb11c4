#!/usr/bin/python3
"""Records a conversation with earshot for stand_in.py: "init" with the given
options, a raw 16 kHz recording in 100 ms "audio" lines (as the libraries
send them), a "flush", the same again, and "stop". Each transcript is placed
after the audio line its "end" falls in (the recording asks for times), so
that the replay answers audio as earshot does.

    record_conversation.py EARSHOT RECORDING.raw OPTIONS_JSON > NAME.conversation
"""

import base64
import json
import subprocess
import sys


def main():
    program, path, options = sys.argv[1], sys.argv[2], json.loads(sys.argv[3])
    with open(path, "rb") as f:
        pcm = f.read()
    step = 3200
    count = (len(pcm) + step - 1) // step
    init = dict(options, type="init", locale="en-US", acknowledgeFlush=True)
    lines = [json.dumps(init)]
    for session in range(2):
        for at in range(0, len(pcm), step):
            lines.append(json.dumps({"type": "audio", "sampleRate": 16000,
                                     "pcm": base64.b64encode(pcm[at:at + step]).decode()}))
        lines.append('{"type":"flush"}' if session == 0 else '{"type":"stop"}')
    run = subprocess.run([program], input="\n".join(lines).encode() + b"\n",
                         stdout=subprocess.PIPE, check=True)
    out = [line.decode() for line in run.stdout.splitlines()]
    print("# %s in 100 ms lines, a flush, the same again, stop; init %s" % (
        path.rsplit("/", 1)[-1], json.dumps(options)))
    print("> init")
    print("< " + out.pop(0))  # ready
    for session in range(2):
        by_line = [[] for _ in range(count)]
        while out and json.loads(out[0])["type"] == "transcript":
            line = out.pop(0)
            end = json.loads(line).get("end")
            index = min(count - 1, int(end * 10)) if isinstance(end, (int, float)) else count - 1
            by_line[index].append(line)
        for answers in by_line:
            print("> audio")
            for line in answers:
                print("< " + line)
        print("> flush" if session == 0 else "> stop")
        print("< " + out.pop(0))  # flushed, stopped
    assert not out, out


if __name__ == "__main__":
    main()
