#!/usr/bin/python3
"""Writes a deterministic benchmark programme: 16-bit little-endian stereo raw at 44,100 Hz.

Alternating passages of synthetic music (a band with drums, bass, chords and a lead; a quiet
piano-like ballad; dense electronic pads with a four-on-the-floor beat) and speech-like passages
(a voiced source with a moving pitch through moving formants, in syllables and pauses), with
level changes between them, as a broadcast programme has. The same arguments give the same bytes.

Usage: make_programme.py OUTPUT.raw [SECONDS] [SEED]
"""
import sys

import numpy as np

RATE = 44100


def envelope(n, attack_s, decay_s):
    t = np.arange(n) / RATE
    attack = np.minimum(1.0, t / max(attack_s, 1e-4))
    return attack * np.exp(-t / decay_s)


def tone(freq_hz, n, harmonics, rng):
    t = np.arange(n) / RATE
    out = np.zeros(n)
    for h in range(1, harmonics + 1):
        if freq_hz * h > 18000:
            break
        out += np.sin(2 * np.pi * freq_hz * h * t + rng.uniform(0, 2 * np.pi)) / h ** 1.3
    return out


def add(buf, start, sig, gain_l, gain_r):
    end = min(len(buf), start + len(sig))
    if end <= start:
        return
    buf[start:end, 0] += sig[: end - start] * gain_l
    buf[start:end, 1] += sig[: end - start] * gain_r


def kick(rng):
    n = int(0.25 * RATE)
    t = np.arange(n) / RATE
    phase = 2 * np.pi * (50 * t + 60 * 0.04 * (1 - np.exp(-t / 0.04)))
    return np.sin(phase) * np.exp(-t / 0.12)


def snare(rng):
    n = int(0.2 * RATE)
    noise = rng.standard_normal(n)
    noise = np.convolve(noise, [1, -0.6], mode="same")
    return (0.5 * noise + 0.5 * tone(190, n, 3, rng)) * envelope(n, 0.001, 0.06)


def hat(rng):
    n = int(0.06 * RATE)
    noise = np.diff(rng.standard_normal(n + 1))
    return noise * envelope(n, 0.0005, 0.015)


def band_passage(seconds, rng, bpm, level, chords, electronic=False):
    n = int(seconds * RATE)
    buf = np.zeros((n, 2))
    beat = int(60 / bpm * RATE)
    k, s, h = kick(rng), snare(rng), hat(rng)
    for b, start in enumerate(range(0, n, beat)):
        add(buf, start, k, 0.9, 0.9)
        if electronic or b % 2 == 1:
            add(buf, start, s, 0.5 if not electronic else 0.3, 0.55 if not electronic else 0.3)
        add(buf, start + beat // 2, h, 0.25, 0.15)
        add(buf, start, h, 0.15, 0.25)
        root = chords[(b // 4) % len(chords)]
        add(buf, start, tone(root / 2, beat, 6, rng) * envelope(beat, 0.005, 0.3), 0.5, 0.5)
        if b % 4 == 0:
            bar = 4 * beat
            pad = sum(tone(root * r, bar, 8, rng) for r in (1, 1.26, 1.5)) * envelope(bar, 0.05 if electronic else 0.01, 1.5)
            add(buf, start, pad, 0.18, 0.22)
        if rng.uniform() < 0.7:
            note = root * 2 * rng.choice([1, 1.125, 1.26, 1.5, 1.68, 2])
            length = beat // rng.choice([1, 2])
            add(buf, start, tone(note, length, 10, rng) * envelope(length, 0.01, 0.25), 0.3, 0.2)
    return buf * level


def ballad(seconds, rng, level):
    n = int(seconds * RATE)
    buf = np.zeros((n, 2))
    step = int(0.45 * RATE)
    scale = [261.6, 293.7, 329.6, 392.0, 440.0, 523.3]
    for start in range(0, n, step):
        note = scale[rng.integers(len(scale))] * rng.choice([0.5, 1, 1])
        length = int(2.0 * RATE)
        pan = rng.uniform(0.3, 0.7)
        add(buf, start, tone(note, length, 12, rng) * envelope(length, 0.003, 0.6), 1 - pan, pan)
    return buf * level


def speech(seconds, rng, level):
    n = int(seconds * RATE)
    out = np.zeros(n)
    t = 0
    while t < n:
        syllables = rng.integers(3, 9)
        for _ in range(syllables):
            if t >= n:
                break
            length = int(rng.uniform(0.12, 0.3) * RATE)
            pitch = rng.uniform(95, 180) * (1 + 0.15 * np.sin(np.linspace(0, np.pi, length)))
            phase = np.cumsum(pitch / RATE)
            source = (phase % 1.0) - 0.5  # a bright saw-like glottal source
            source += 0.05 * rng.standard_normal(length)
            voiced = np.zeros(length)
            for formant, width in ((rng.uniform(300, 800), 80), (rng.uniform(900, 2200), 120), (2600, 200)):
                r = np.exp(-np.pi * width / RATE)
                c = 2 * r * np.cos(2 * np.pi * formant / RATE)
                y1 = y2 = 0.0
                res = np.empty(length)
                for i, x in enumerate(source):  # two-pole resonator
                    y = x + c * y1 - r * r * y2
                    y2, y1 = y1, y
                    res[i] = y
                voiced += res / np.max(np.abs(res) + 1e-9)
            end = min(n, t + length)
            out[t:end] += (voiced * np.sin(np.linspace(0, np.pi, length)) ** 0.7)[: end - t]
            t += length + int(rng.uniform(0.01, 0.08) * RATE)
        t += int(rng.uniform(0.2, 0.6) * RATE)
    out = out / np.max(np.abs(out) + 1e-9)
    return np.stack([out, out * 0.98], axis=1) * level


def main():
    path = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 180
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 14
    rng = np.random.default_rng(seed)
    makers = [
        lambda s: band_passage(s, rng, 118, 0.22, [110.0, 146.8, 98.0, 130.8]),
        lambda s: speech(s, rng, 0.3),
        lambda s: ballad(s, rng, 0.12),
        lambda s: band_passage(s, rng, 126, 0.18, [87.3, 110.0, 130.8, 98.0], electronic=True),
        lambda s: speech(s, rng, 0.5),
    ]
    parts, total, k = [], 0, 0
    while total < seconds * RATE:
        length = min(30.0, seconds - total / RATE)
        part = makers[k % len(makers)](length)
        parts.append(part)
        total += len(part)
        k += 1
    programme = np.concatenate(parts)[: int(seconds * RATE)]
    samples = np.clip(np.round(programme * 32767), -32768, 32767).astype("<i2")
    samples.tofile(path)


if __name__ == "__main__":
    main()
