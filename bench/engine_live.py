#!/usr/bin/env python3
"""Live figures of the built program beside the bare engine, in one run.

    bench/engine_live.py BUILD_DIR [--rss-minutes N [--only-rss]]

Prints, each as the median of a few runs:
  - bare engine load (ps_init) and start -> "ready" of the program;
  - bare engine decode of the five librivox recordings and the program's
    decode of the same audio (all sent at once, a flush between recordings),
    from the first audio line to "stopped";
  - "stop" -> "stopped" after a short and after a long stream sent at twice
    real time, and "flush" + "stop" -> "stopped" (the flush's share is the
    difference);
  - the five recordings through the program, one process each, against the
    engine's command-line tool when it is installed;
  - with --rss-minutes, resident memory while that much audio streams.
"""
import base64
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

DATA = "/usr/share/pocketsphinx/test/data/"
LIBRIVOX = [DATA + "librivox/sense_and_sensibility_01_austen_64kb-%s.wav" % n
            for n in ("0870", "0880", "0890", "0920", "0930")]
RATE = 16000
REPEAT = 5


def samples(path):
    with open(path, "rb") as f:
        data = f.read()
    return data[44:] if path.endswith(".wav") else data


def audio_lines(pcm, rate=RATE, ms=100):
    step = rate * ms // 1000 * 2
    return [('{"type":"audio","sampleRate":%d,"pcm":"%s"}\n'
             % (rate, base64.b64encode(pcm[i:i + step]).decode())).encode()
            for i in range(0, len(pcm), step)]


class Earshot:
    """The program with an empty home, read line by line on a thread. Its
    state folder (speaker adaptation) is in that home, or `state`."""

    def __init__(self, build, args=(), state=None):
        home = tempfile.mkdtemp(prefix="earshot-bench-")
        env = {k: v for k, v in os.environ.items()
               if not k.startswith("XDG_") and k != "HOME"}
        for name in ("HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                     "XDG_DATA_DIRS"):
            env[name] = home
        if state:
            env["XDG_STATE_HOME"] = state
        self.home = home
        self.started = time.monotonic()
        self.proc = subprocess.Popen([os.path.join(build, "earshot"), *args],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, env=env)
        self.lines = []  # (time, text)
        self.cond = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            with self.cond:
                self.lines.append((time.monotonic(), raw.decode().rstrip("\n")))
                self.cond.notify_all()
        with self.cond:
            self.lines.append((time.monotonic(), None))
            self.cond.notify_all()

    def send(self, chunks):
        for chunk in chunks:
            self.proc.stdin.write(chunk)
        self.proc.stdin.flush()

    def wait_for(self, predicate, start=0):
        with self.cond:
            while True:
                for i in range(start, len(self.lines)):
                    if self.lines[i][1] is None or predicate(self.lines[i][1]):
                        return i, self.lines[i][0]
                self.cond.wait()

    def cpu_ticks(self):
        with open("/proc/%d/stat" % self.proc.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])  # utime + stime

    def wait_idle(self, polls=3, interval=0.1):
        """Returns once the program has used no processor time for `polls`
        intervals in a row: the analyzer has taken all its input."""
        quiet, last = 0, self.cpu_ticks()
        while quiet < polls:
            time.sleep(interval)
            now = self.cpu_ticks()
            quiet = quiet + 1 if now - last <= 1 else 0
            last = now

    def close(self):
        try:
            self.proc.stdin.close()
        except BrokenPipeError:
            pass
        self.proc.wait()
        err = self.proc.stderr.read()
        shutil.rmtree(self.home, ignore_errors=True)
        if err:
            print("!! stderr:", err[:200])
        return self.proc.returncode


INIT = b'{"type":"init","locale":"en-US"}\n'
STOP = b'{"type":"stop"}\n'
FLUSH = b'{"type":"flush"}\n'


def start_to_ready(build, init=INIT):
    e = Earshot(build)
    e.send([init])
    _, t = e.wait_for(lambda l: '"ready"' in l)
    e.send([STOP])
    e.close()
    return t - e.started


def live_decode(build, pcms):
    e = Earshot(build)
    e.send([INIT])
    e.wait_for(lambda l: '"ready"' in l)
    chunks = []
    for i, pcm in enumerate(pcms):
        if i:
            chunks.append(FLUSH)
        chunks += audio_lines(pcm)
    chunks.append(STOP)
    begin = time.monotonic()
    e.send(chunks)
    _, t = e.wait_for(lambda l: '"stopped"' in l)
    e.close()
    return t - begin


def stop_latency(build, pcm, speed, flush=False):
    """Streams `pcm` at `speed` x real time, waits until the analyzer has
    caught up, then times the closing lines."""
    e = Earshot(build)
    e.send([INIT])
    e.wait_for(lambda l: '"ready"' in l)
    lines = audio_lines(pcm)
    begin = time.monotonic()
    for i, line in enumerate(lines):
        due = begin + i * 0.1 / speed
        now = time.monotonic()
        if due > now:
            time.sleep(due - now)
        e.send([line])
    e.wait_idle()
    begin = time.monotonic()
    e.send([FLUSH, STOP] if flush else [STOP])
    _, t = e.wait_for(lambda l: '"stopped"' in l)
    e.close()
    return t - begin


def rss_profile(build, minutes):
    pcm = b"".join(samples(p) for p in LIBRIVOX)
    seconds = len(pcm) / 2 / RATE
    e = Earshot(build)
    e.send([INIT])
    e.wait_for(lambda l: '"ready"' in l)
    lines = audio_lines(pcm)
    readings = []
    sent = 0.0
    status = "/proc/%d/status" % e.proc.pid
    while sent < minutes * 60:
        # One block at a time, a flush after each, so that memory shows what
        # the program keeps rather than audio queued ahead of the decoder.
        e.send(lines + [FLUSH])
        sent += seconds
        e.wait_idle()
        with open(status) as f:
            rss = int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))
        readings.append((sent / 60, rss))
    with open(status) as f:
        hwm = int(re.search(r"VmHWM:\s+(\d+)", f.read()).group(1))
    e.send([STOP])
    e.wait_for(lambda l: '"stopped"' in l)
    e.close()
    return readings, hwm


def median(f, n=REPEAT):
    return statistics.median(f() for _ in range(n))


def main():
    build = sys.argv[1]
    rss_minutes = float(sys.argv[sys.argv.index("--rss-minutes") + 1]) \
        if "--rss-minutes" in sys.argv else 0
    pcms = [samples(p) for p in LIBRIVOX]
    audio = sum(len(p) for p in pcms) / 2 / RATE
    if "--only-rss" in sys.argv:
        report_rss(build, rss_minutes)
        return

    # Interleaved, so that a change in the machine's load hits both sides.
    loads, decodes, partials, readies, lives = [], [], [], [], []
    for _ in range(REPEAT):
        out = subprocess.run([os.path.join(build, "bench/engine_loop"), "--defaults"],
                             capture_output=True, text=True).stdout
        loads.append(float(re.search(r"engine load ([\d.]+) s", out).group(1)))
        decodes.append(float(re.search(r"decode ([\d.]+) s", out).group(1)))
        readies.append(start_to_ready(build))
        lives.append(live_decode(build, pcms))
        out = subprocess.run([os.path.join(build, "bench/engine_loop"), "--defaults",
                              "--partials"], capture_output=True, text=True).stdout
        partials.append(float(re.search(r"decode ([\d.]+) s", out).group(1)))
    bare_load, bare_decode = statistics.median(loads), statistics.median(decodes)
    ready, live = statistics.median(readies), statistics.median(lives)
    print("start -> ready      %.3f s   bare ps_init %.3f s   ratio %.2f"
          % (ready, bare_load, ready / bare_load))
    print("decode %.1f s audio  %.3f s   bare loop    %.3f s   ratio %.2f"
          "   (bare loop asking for partials %.3f s)"
          % (audio, live, bare_decode, live / bare_decode, statistics.median(partials)))

    short, long_ = pcms[1], b"".join(pcms) * 3
    for name, pcm in (("%.0f s" % (len(short) / 2 / RATE), short),
                      ("%.0f s" % (len(long_) / 2 / RATE), long_)):
        stop = median(lambda: stop_latency(build, pcm, 2.0), 3)
        both = median(lambda: stop_latency(build, pcm, 2.0, flush=True), 3)
        print("after a %-6s stream: stop -> stopped %.3f s; flush+stop -> stopped %.3f s"
              " (flush share %.3f s)" % (name, stop, both, both - stop))

    def one_process_each():
        begin = time.monotonic()
        for pcm in pcms:
            e = Earshot(build)
            e.send([INIT] + audio_lines(pcm) + [STOP])
            e.wait_for(lambda l: '"stopped"' in l)
            e.close()
        return time.monotonic() - begin
    each = median(one_process_each, 3)
    cli = shutil.which("pocketsphinx_continuous")
    if cli:
        def cli_each():
            begin = time.monotonic()
            for path in LIBRIVOX:
                subprocess.run([cli, "-infile", path], capture_output=True)
            return time.monotonic() - begin
        tool = median(cli_each, 3)
        print("5 recordings, one process each: program %.3f s, engine tool %.3f s,"
              " %.2fx faster" % (each, tool, tool / each))
    else:
        print("5 recordings, one process each: program %.3f s (engine tool not installed)"
              % each)

    if rss_minutes:
        report_rss(build, rss_minutes)


def report_rss(build, minutes):
    readings, hwm = rss_profile(build, minutes)
    marks = [r for i, r in enumerate(readings) if i % max(1, len(readings) // 6) == 0]
    print("resident memory: " + ", ".join("%.1f min %d kB" % r for r in marks)
          + "; last %d kB; peak %d kB" % (readings[-1][1], hwm))


if __name__ == "__main__":
    main()
