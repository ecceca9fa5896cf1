#!/usr/bin/env python3
"""Soak: a long stream through tarnix-file in pipe mode.

Feeds MINUTES of deterministic noise with a wandering whistle through
`tarnix-file --raw --rate RATE - -` as fast as it takes them, reports the
peak resident memory after the first minute of audio and at the end, and
checks that the output is byte for byte what file mode writes for the same
samples. Not a unit test: run it by hand or from a benchmark job.

    bench/soak_pipe.py build/release/src/app/file/tarnix-file [MINUTES] [RATE]
"""
import hashlib
import math
import os
import random
import subprocess
import sys
import tempfile
import threading
import wave

CHUNK_SECONDS = 7  # a period that shares no factor with the block length


def chunks(rate, minutes):
    """Yields the stream as bytes, one chunk at a time, the same every run."""
    rng = random.Random(14)
    base = [rng.randint(-6000, 6000) for _ in range(rate * CHUNK_SECONDS)]
    total = rate * 60 * minutes
    done = 0
    step = 0
    while done < total:
        n = min(len(base), total - done)
        hz = 500 + 97 * (step % 31)  # the whistle moves from chunk to chunk
        out = bytearray(2 * n)
        for i in range(n):
            v = base[i] + int(4000 * math.sin(2 * math.pi * hz * (done + i) / rate))
            out[2 * i:2 * i + 2] = max(-32768, min(32767, v)).to_bytes(2, "little", signed=True)
        yield bytes(out)
        done += n
        step += 1


def vm_hwm_kb(pid):
    """The peak resident memory so far, or 0 once the process has ended."""
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def main():
    tool = sys.argv[1]
    minutes = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    rate = int(sys.argv[3]) if len(sys.argv) > 3 else 8000
    work = tempfile.mkdtemp(prefix="tarnix-soak-")
    wav_path = os.path.join(work, "in.wav")
    with wave.open(wav_path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        for c in chunks(rate, minutes):
            w.writeframes(c)

    proc = subprocess.Popen([tool, "-q", "--raw", "--rate", str(rate), "-", "-"],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE)

    def feed():
        for c in chunks(rate, minutes):
            proc.stdin.write(c)
        proc.stdin.close()

    threading.Thread(target=feed, daemon=True).start()
    digest = hashlib.sha256()
    got = 0
    one_minute = 2 * rate * 60
    hwm_1min = None
    hwm_last = 0  # the peak as of the last read; the process may be gone at the end
    samples = []
    while True:
        data = proc.stdout.read(1 << 16)
        if not data:
            break
        digest.update(data)
        before = got
        got += len(data)
        try:
            hwm_last = vm_hwm_kb(proc.pid) or hwm_last
        except OSError:
            pass
        if hwm_1min is None and got >= one_minute:
            hwm_1min = hwm_last
        if got // (10 * one_minute) != before // (10 * one_minute):
            samples.append((got // one_minute, hwm_last))
    # (rusage would count the interpreter the child was forked from)
    pipe_ok = proc.wait() == 0

    out_path = os.path.join(work, "out.wav")
    subprocess.run([tool, "-q", wav_path, out_path], check=True)
    file_digest = hashlib.sha256()
    with wave.open(out_path, "rb") as w:
        frames = w.getnframes()
        while True:
            data = w.readframes(1 << 15)
            if not data:
                break
            file_digest.update(data)
    for p in (wav_path, out_path):
        os.remove(p)
    os.rmdir(work)

    same = digest.digest() == file_digest.digest() and got == 2 * frames
    print(f"soak: {minutes} min at {rate} Hz through the pipe, exit {'0' if pipe_ok else 'non-zero'}")
    print(f"soak: peak RSS after 1 min of audio: {hwm_1min} kB; at the end: {hwm_last} kB")
    for minute, kb in samples:
        print(f"soak:   after {minute} min: peak {kb} kB")
    print(f"soak: output {'identical to' if same else 'DIFFERENT from'} file mode ({got // 2} samples)")
    return 0 if pipe_ok and same else 1


if __name__ == "__main__":
    sys.exit(main())
