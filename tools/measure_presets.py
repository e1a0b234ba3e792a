#!/usr/bin/python3
"""Measures what the factory presets do to loudness: generated programme in, EBU R128 figures out.

Makes six 30 s items of its own (dense rock-like, sparse piano-like with wide dynamics,
electronic with strong bass, orchestral-like with crescendos, speech-like, quiet ambient pad),
each at -12, 0 and +6 dB, runs every one through `drelvant process --preset P --seed 1` and
measures input and output with libebur128 over the stretch after the first 5 s: integrated
loudness, loudness range, and the spread of short-term loudness (a steady voice whose short-term
loudness swings more after processing than before is being pumped).

  /usr/bin/python3 tools/measure_presets.py [--drelvant build/native/drelvant] [--work DIR]
                                            [--presets F1,F2,...|file.ini,...] [--jobs 2]

Prints one table per preset, then a summary per preset. Needs numpy (python3-numpy) and
libebur128 (libebur128-1). The material is the same on every run (fixed random seeds).
"""
import argparse
import concurrent.futures
import ctypes
import ctypes.util
import os
import subprocess
import sys
import wave

import numpy as np

RATE = 44100
SECONDS = 30
SKIP_SECONDS = 5  # measurements leave out the first 5 s, where AGC and compressors settle
LEVELS_DB = (-12, 0, 6)
PEAK_CEILING_DB = -6.5  # the 0 dB version peaks at most here, so +6 dB still fits in 16 bits

# name: (loudness of the 0 dB version in LUFS before the peak cap, wide dynamics?)
ITEMS = {
    "rock": (-14.0, False),
    "piano": (-22.0, True),
    "electronic": (-13.0, False),
    "orchestral": (-20.0, True),
    "speech": (-20.0, False),
    "ambient": (-26.0, False),
}


# ---------------------------------------------------------------- loudness (libebur128)

class Ebur128:
    MODE_S = (1 << 1) | 1
    MODE_I = (1 << 2) | 1
    MODE_LRA = (1 << 3) | MODE_S

    def __init__(self):
        path = ctypes.util.find_library("ebur128") or "libebur128.so.1"
        self.lib = ctypes.CDLL(path)
        self.lib.ebur128_init.restype = ctypes.c_void_p
        self.lib.ebur128_init.argtypes = [ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.lib.ebur128_add_frames_short.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t]
        for name in ("ebur128_loudness_global", "ebur128_loudness_range", "ebur128_loudness_shortterm"):
            getattr(self.lib, name).argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_double)]
        self.lib.ebur128_destroy.argtypes = [ctypes.POINTER(ctypes.c_void_p)]

    def measure(self, frames):
        """frames: int16 array (n, 2). Returns integrated LUFS, LRA and short-term loudness values
        every 100 ms once the 3 s window is full."""
        state = ctypes.c_void_p(self.lib.ebur128_init(2, RATE, self.MODE_I | self.MODE_LRA))
        frames = np.ascontiguousarray(frames, dtype=np.int16)
        step = RATE // 10
        shortterm = []
        value = ctypes.c_double()
        for start in range(0, len(frames) - step + 1, step):
            chunk = frames[start:start + step]
            self.lib.ebur128_add_frames_short(state, chunk.ctypes.data, len(chunk))
            if start + step >= 3 * RATE:
                self.lib.ebur128_loudness_shortterm(state, ctypes.byref(value))
                shortterm.append(value.value)
        self.lib.ebur128_loudness_global(state, ctypes.byref(value))
        integrated = value.value
        self.lib.ebur128_loudness_range(state, ctypes.byref(value))
        lra = value.value
        self.lib.ebur128_destroy(ctypes.byref(state))
        return integrated, lra, np.array(shortterm)


def shortterm_spread(shortterm, integrated):
    """Standard deviation (LU) of the short-term loudness values within 20 LU of the integrated
    loudness (pauses deeper than that are not what a listener hears as the level moving)."""
    kept = shortterm[np.isfinite(shortterm) & (shortterm > integrated - 20.0)]
    return float(np.std(kept)) if len(kept) > 1 else float("nan")


# ---------------------------------------------------------------- material

def seconds_axis(n):
    return np.arange(n) / RATE


def one_pole_lowpass(x, cutoff_hz):
    c = 1.0 - np.exp(-2.0 * np.pi * cutoff_hz / RATE)
    y = np.empty_like(x)
    state = 0.0
    for i, v in enumerate(x):  # short signals only
        state += c * (v - state)
        y[i] = state
    return y


def fft_filter(x, low_hz, high_hz):
    """Brick-wall band filter for noise shaping (whole-signal FFT)."""
    spectrum = np.fft.rfft(x)
    freqs = np.fft.rfftfreq(len(x), 1.0 / RATE)
    spectrum[(freqs < low_hz) | (freqs > high_hz)] = 0
    return np.fft.irfft(spectrum, len(x))


def room(rng, x, rt60_seconds, wet):
    """A plain room: the signal convolved with exponentially decaying noise (RT60 as given), per channel."""
    n = int(rt60_seconds * RATE)
    tail = rng.standard_normal((n, 2)) * np.exp(-6.9 * np.arange(n) / n)[:, None]
    tail /= np.sqrt(np.sum(tail ** 2, axis=0))
    size = 1 << int(np.ceil(np.log2(len(x) + n)))
    out = np.empty_like(x)
    for c in range(2):
        wet_c = np.fft.irfft(np.fft.rfft(x[:, c], size) * np.fft.rfft(tail[:, c], size), size)[: len(x)]
        out[:, c] = x[:, c] + wet * wet_c
    return out


def add_at(target, start, sound):
    end = min(len(target), start + len(sound))
    if start < end:
        target[start:end] += sound[: end - start]


def saw(freq, n, phase=0.0):
    t = seconds_axis(n)
    return 2.0 * ((freq * t + phase) % 1.0) - 1.0


def kick(rng, length=0.35, low=48.0, high=130.0, decay=0.12):
    n = int(length * RATE)
    t = seconds_axis(n)
    freq = low + (high - low) * np.exp(-t / 0.03)
    phase = 2 * np.pi * np.cumsum(freq) / RATE
    return np.sin(phase) * np.exp(-t / decay)


def snare(rng, length=0.25):
    n = int(length * RATE)
    t = seconds_axis(n)
    noise = fft_filter(rng.standard_normal(n), 1500, 9000) * 0.6
    body = np.sin(2 * np.pi * 190 * t) * 0.7
    return (noise + body) * np.exp(-t / 0.06)


def hat(rng, length=0.06):
    n = int(length * RATE)
    t = seconds_axis(n)
    return fft_filter(rng.standard_normal(n), 7000, 18000) * np.exp(-t / 0.015) * 0.5


def rock(rng):
    n = SECONDS * RATE
    left, right = np.zeros(n), np.zeros(n)
    beat = int(0.5 * RATE)  # 120 bpm
    k, s = kick(rng), snare(rng)
    for b in range(n // beat):
        start = b * beat
        if b % 2 == 0:
            add_at(left, start, k), add_at(right, start, k)
        else:
            add_at(left, start, s * 0.9), add_at(right, start, s * 0.9)
        for half in (0, beat // 2):
            h = hat(rng)
            add_at(left, start + half, h * 0.8), add_at(right, start + half, h * 0.6)
    roots = [82.41, 82.41, 110.0, 98.0]  # E E A G, one per bar
    bar = 4 * beat
    for i in range(n // bar + 1):
        root = roots[i % len(roots)]
        m = min(bar, n - i * bar)
        if m <= 0:
            break
        chord_l = sum(saw(root * r * 1.003, m) for r in (1, 1.5, 2)) / 3
        chord_r = sum(saw(root * r * 0.997, m, 0.3) for r in (1, 1.5, 2)) / 3
        verse = 0.4 if i < 6 else 1.0  # quieter guitars in the verse (first 12 s), then the chorus
        gtr_l = np.tanh(6 * fft_filter(chord_l, 80, 5000)) * 0.35 * verse
        gtr_r = np.tanh(6 * fft_filter(chord_r, 80, 5000)) * 0.35 * verse
        bass = np.zeros(m)
        for e in range(8):
            note = saw(root / 2, beat // 2) * np.exp(-seconds_axis(beat // 2) / 0.4)
            add_at(bass, e * beat // 2, note)
        bass = fft_filter(bass, 30, 900) * 0.5
        add_at(left, i * bar, gtr_l + bass), add_at(right, i * bar, gtr_r + bass)
    return np.stack([left, right], axis=1)


def piano_note(rng, freq, seconds, velocity):
    n = int(seconds * RATE)
    t = seconds_axis(n)
    note = np.zeros(n)
    for partial in range(1, 9):
        f = freq * partial * np.sqrt(1 + 0.0004 * partial * partial)
        if f > 15000:
            break
        decay = 1.8 / (1 + 0.6 * partial) * (220.0 / freq) ** 0.3
        note += np.sin(2 * np.pi * f * t) * np.exp(-t / decay) / partial ** (1.4 - 0.5 * velocity)
    attack = np.minimum(1.0, t / 0.004)
    return note * attack * velocity


def piano(rng):
    """Sparse notes in a room; dynamics from pianissimo (-20 dB) to fortissimo and back, with a rest."""
    n = SECONDS * RATE
    left, right = np.zeros(n), np.zeros(n)
    scale = [261.63, 293.66, 329.63, 349.23, 392.0, 440.0, 493.88, 523.25, 587.33, 659.26]
    time = 0.2
    while time < SECONDS - 0.5:
        # dynamic curve: soft opening, crescendo to a climax at 16 s, long diminuendo, soft end
        if time < 8:
            level_db = -20 + time * 0.5
        elif time < 16:
            level_db = -16 + (time - 8) * 2.0
        elif time < 22:
            level_db = 0 - (time - 16) * 3.0
        else:
            level_db = -20
        velocity = 10 ** (level_db / 20)
        chord = rng.choice([1, 1, 2, 3]) if level_db > -15 else 1
        for _ in range(chord):
            freq = rng.choice(scale) * rng.choice([0.5, 1, 1, 2])
            note = piano_note(rng, freq, 2.5, velocity)
            pan = rng.uniform(0.3, 0.7)
            add_at(left, int(time * RATE), note * (1 - pan))
            add_at(right, int(time * RATE), note * pan)
        gap = rng.uniform(0.25, 0.7) if level_db > -15 else rng.uniform(0.5, 1.4)
        if 22 <= time < 23:  # a rest after the climax
            gap = 1.8
        time += gap
    return room(rng, np.stack([left, right], axis=1), 1.8, 0.5)


def electronic(rng):
    n = SECONDS * RATE
    left, right = np.zeros(n), np.zeros(n)
    beat = int(60 / 126 * RATE)
    k = kick(rng, length=0.5, low=45.0, high=150.0, decay=0.25) * 1.2
    for b in range(n // beat):
        if 14 * RATE <= b * beat < 20 * RATE:
            continue  # breakdown: pad and bass only
        add_at(left, b * beat, k), add_at(right, b * beat, k)
        h = hat(rng)
        add_at(left, b * beat + beat // 2, h * 0.7), add_at(right, b * beat + beat // 2, h * 0.9)
    bass_notes = [41.2, 41.2, 49.0, 55.0]
    t = seconds_axis(n)
    step = beat // 2
    bass = np.zeros(n)
    for i in range(n // step):
        f = bass_notes[(i // 8) % len(bass_notes)]
        m = step
        env = np.minimum(1.0, seconds_axis(m) / 0.01) * np.exp(-seconds_axis(m) / 0.3)
        add_at(bass, i * step, np.sin(2 * np.pi * f * seconds_axis(m)) * env)
    # pad: detuned saws, slowly opening filter
    pad_l = sum(saw(220.0 * d, n, p) for d, p in ((1.0, 0), (1.006, 0.2), (0.994, 0.5))) / 3
    pad_r = sum(saw(220.0 * d, n, p) for d, p in ((1.0, 0.1), (1.004, 0.7), (0.996, 0.4))) / 3
    pad_l = fft_filter(pad_l, 150, 3000) * (0.12 + 0.05 * np.sin(2 * np.pi * 0.1 * t))
    pad_r = fft_filter(pad_r, 150, 3000) * (0.12 + 0.05 * np.cos(2 * np.pi * 0.1 * t))
    left += bass * 0.7 + pad_l
    right += bass * 0.7 + pad_r
    return np.stack([left, right], axis=1)


def orchestral(rng):
    """String-like pad with a long crescendo to a tutti, a sudden pianissimo and a second swell."""
    n = SECONDS * RATE
    t = seconds_axis(n)
    chords = [(130.81, 196.0, 261.63, 329.63), (146.83, 220.0, 293.66, 349.23),
              (110.0, 164.81, 220.0, 261.63), (98.0, 146.83, 196.0, 246.94)]
    left, right = np.zeros(n), np.zeros(n)
    seg = n // 8
    for i in range(8):
        freqs = chords[i % len(chords)]
        m = min(seg + RATE // 2, n - i * seg)
        sl, sr = np.zeros(m), np.zeros(m)
        for f in freqs:
            for d in (0.997, 1.0, 1.004):
                vib = 1 + 0.004 * np.sin(2 * np.pi * 5.5 * seconds_axis(m) + rng.uniform(0, 6))
                phase = np.cumsum(f * d * vib) / RATE
                wave_ = 2 * (phase % 1.0) - 1
                sl += wave_ * rng.uniform(0.3, 0.7)
                sr += wave_ * rng.uniform(0.3, 0.7)
        fade = np.minimum(1.0, np.minimum(seconds_axis(m) / 0.3, (m - np.arange(m)) / RATE / 0.3))
        add_at(left, i * seg, fft_filter(sl, 60, 2500) * fade)
        add_at(right, i * seg, fft_filter(sr, 60, 2500) * fade)
    # dynamics: -24 dB to 0 dB over 18 s, sudden -20 dB at 19 s, second swell to -6 dB at 30 s
    level_db = np.where(t < 18, -24 + t * (24 / 18),
                        np.where(t < 19, 0.0, -20 + (t - 19) * (14 / 11)))
    gain = 10 ** (level_db / 20)
    # timpani roll under the climax
    roll = np.zeros(n)
    for hit in np.arange(14.0, 19.0, 0.09):
        add_at(roll, int(hit * RATE), kick(rng, length=0.4, low=65.0, high=80.0, decay=0.3) * (hit - 13) / 6)
    left = left * gain + roll * 0.5
    right = right * gain + roll * 0.5
    return room(rng, np.stack([left, right], axis=1), 2.2, 0.6)


VOWELS = [(730, 1090, 2440), (270, 2290, 3010), (300, 870, 2240), (530, 1840, 2480), (570, 840, 2410),
          (660, 1720, 2410), (440, 1020, 2240)]


def resonator(x, freq, bandwidth):
    r = np.exp(-np.pi * bandwidth / RATE)
    a1, a2 = -2 * r * np.cos(2 * np.pi * freq / RATE), r * r
    y = np.zeros_like(x)
    y1 = y2 = 0.0
    g = 1 - r
    for i, v in enumerate(x):
        y0 = g * v - a1 * y1 - a2 * y2
        y[i] = y0
        y2, y1 = y1, y0
    return y


def syllable(rng, f0, seconds):
    n = int(seconds * RATE)
    t = seconds_axis(n)
    contour = f0 * (1 + 0.08 * np.sin(np.pi * t / seconds) - 0.05 * t / seconds)
    phase = np.cumsum(contour) / RATE
    pulses = ((phase % 1.0) < (contour / RATE)).astype(float)
    source = one_pole_lowpass(pulses - pulses.mean(), 1200.0) * 20 + rng.standard_normal(n) * 0.02
    f1, f2, f3 = VOWELS[rng.integers(len(VOWELS))]
    voiced = resonator(source, f1, 90) * 1.0 + resonator(source, f2, 110) * 0.5 + resonator(source, f3, 160) * 0.25
    env = np.sin(np.pi * np.minimum(1.0, t / seconds)) ** 0.6
    out = voiced * env
    if rng.random() < 0.5:  # a fricative or plosive in front
        m = int(rng.uniform(0.04, 0.1) * RATE)
        fric = fft_filter(rng.standard_normal(m), 3000, 9000) * np.hanning(m) * 0.15
        out = np.concatenate([fric, out])
    return out


def speech(rng):
    """One talker: syllables at about 4.5 a second, short gaps between words, longer between
    phrases, a quiet room noise under it all."""
    n = SECONDS * RATE
    voice = np.zeros(n)
    time = 0.1
    f0 = 120.0
    while time < SECONDS - 0.5:
        words = rng.integers(3, 8)
        for _ in range(words):
            for _ in range(rng.integers(1, 4)):
                s = syllable(rng, f0 * rng.uniform(0.9, 1.15), rng.uniform(0.12, 0.26))
                add_at(voice, int(time * RATE), s * rng.uniform(0.6, 1.0))
                time += len(s) / RATE + 0.01
            time += rng.uniform(0.05, 0.15)
        time += rng.uniform(0.35, 0.7)
    room = fft_filter(rng.standard_normal(n), 50, 8000) * 10 ** (-60 / 20)
    mono = voice + room
    return np.stack([mono, mono * 0.98], axis=1)


def ambient(rng):
    n = SECONDS * RATE
    t = seconds_axis(n)
    left, right = np.zeros(n), np.zeros(n)
    for f in (110.0, 164.81, 220.0, 277.18, 329.63):
        lfo = 0.5 + 0.5 * np.sin(2 * np.pi * rng.uniform(0.03, 0.09) * t + rng.uniform(0, 6))
        left += np.sin(2 * np.pi * f * t + rng.uniform(0, 6)) * lfo
        right += np.sin(2 * np.pi * f * 1.002 * t + rng.uniform(0, 6)) * lfo
    air = rng.standard_normal((n, 2))
    air[:, 0] = fft_filter(air[:, 0], 2000, 9000)
    air[:, 1] = fft_filter(air[:, 1], 2000, 9000)
    return np.stack([left, right], axis=1) + air * 0.02


GENERATORS = {"rock": rock, "piano": piano, "electronic": electronic, "orchestral": orchestral,
              "speech": speech, "ambient": ambient}


def to_int16(x):
    return np.clip(np.round(x * 32768.0), -32768, 32767).astype(np.int16)


def write_wav(path, frames):
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(np.ascontiguousarray(frames).tobytes())


def read_wav(path):
    with wave.open(path, "rb") as w:
        assert w.getnchannels() == 2 and w.getsampwidth() == 2 and w.getframerate() == RATE, path
        return np.frombuffer(w.readframes(w.getnframes()), dtype=np.int16).reshape(-1, 2)


def make_material(work, meter):
    """Writes <item>_<level>.wav for every item and level; returns {(item, level): path}."""
    paths = {}
    for index, (name, (target_lufs, _)) in enumerate(ITEMS.items()):
        rng = np.random.default_rng(1000 + index)
        signal = GENERATORS[name](rng)
        signal = signal / np.max(np.abs(signal)) * 0.25
        integrated, _, _ = meter.measure(to_int16(signal))
        gain_db = target_lufs - integrated
        peak_db = 20 * np.log10(np.max(np.abs(signal))) + gain_db
        gain_db -= max(0.0, peak_db - PEAK_CEILING_DB)
        for level in LEVELS_DB:
            path = os.path.join(work, "%s_%+d.wav" % (name, level))
            paths[(name, level)] = path
            if not os.path.exists(path):
                write_wav(path, to_int16(signal * 10 ** ((gain_db + level) / 20)))
    return paths


# ---------------------------------------------------------------- processing and figures

def process(drelvant, preset, source, work):
    tag = os.path.splitext(os.path.basename(preset))[0]
    out = os.path.join(work, "out", "%s__%s" % (tag, os.path.basename(source)))
    settings = os.path.join(work, "settings", os.path.basename(out))  # one each: jobs run side by side
    os.makedirs(settings, exist_ok=True)
    subprocess.run([drelvant, "process", source, out, "--preset", preset, "--seed", "1", "-q",
                    "--dir", settings], check=True)
    return out


def figures(meter, frames):
    skip = SKIP_SECONDS * RATE
    integrated, lra, shortterm = meter.measure(frames[skip:])
    return {"I": integrated, "LRA": lra, "ST": shortterm_spread(shortterm, integrated),
            "mono": bool(np.array_equal(frames[:, 0], frames[:, 1])),
            "clipped": int(np.count_nonzero(np.abs(frames.astype(np.int32)) >= 32764))}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--drelvant", default=os.path.join(here, "..", "build", "native", "drelvant"))
    parser.add_argument("--work", default="/tmp/drelvant-preset-measure")
    parser.add_argument("--presets", default="F1,F2,F3,F4,F5,F6,F7")
    parser.add_argument("--jobs", type=int, default=2)
    args = parser.parse_args()

    os.makedirs(os.path.join(args.work, "out"), exist_ok=True)
    os.makedirs(os.path.join(args.work, "settings"), exist_ok=True)
    meter = Ebur128()
    material = make_material(args.work, meter)
    presets = args.presets.split(",")

    print("Input (after the first %d s): integrated LUFS / LRA LU / short-term spread LU" % SKIP_SECONDS)
    inputs = {key: figures(meter, read_wav(path)) for key, path in material.items()}
    for item in ITEMS:
        print("  %-11s " % item + "  ".join("%+3d dB: %6.1f / %4.1f / %4.1f" % (
            level, inputs[(item, level)]["I"], inputs[(item, level)]["LRA"], inputs[(item, level)]["ST"])
            for level in LEVELS_DB))

    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        jobs = {(preset, key): pool.submit(process, args.drelvant, preset, path, args.work)
                for preset in presets for key, path in material.items()}
        outputs = {key: job.result() for key, job in jobs.items()}

    summary = []
    for preset in presets:
        print("\n%s: integrated LUFS / LRA LU / short-term spread LU, after the first %d s" % (preset, SKIP_SECONDS))
        print("| item | " + " | ".join("%+d dB" % level for level in LEVELS_DB) + " |")
        print("|---|" + "---|" * len(LEVELS_DB))
        results = {}
        for item in ITEMS:
            cells = []
            for level in LEVELS_DB:
                result = figures(meter, read_wav(outputs[(preset, (item, level))]))
                results[(item, level)] = result
                cells.append("%.1f / %.1f / %.1f" % (result["I"], result["LRA"], result["ST"]))
            print("| %s | %s |" % (item, " | ".join(cells)))
        loudness = [r["I"] for r in results.values()]
        wide_lra = [r["LRA"] for (item, _), r in results.items() if ITEMS[item][1]]
        speech_st = [results[("speech", level)]["ST"] for level in LEVELS_DB]
        summary.append((preset, min(loudness), max(loudness), float(np.mean(loudness)), min(wide_lra),
                        float(np.mean(wide_lra)), max(speech_st), all(r["mono"] for r in results.values()),
                        sum(r["clipped"] for r in results.values())))

    speech_in = max(inputs[("speech", level)]["ST"] for level in LEVELS_DB)
    print("\nSummary (all items and levels; wide = piano and orchestral; speech input spread %.1f LU)" % speech_in)
    print("| preset | integrated min ... max LUFS | spread LU | mean LUFS | wide LRA min / mean LU "
          "| speech short-term spread LU | mono | clipped samples |")
    print("|---|---|---|---|---|---|---|---|")
    for preset, low, high, mean, wide_min, wide_mean, st, mono, clipped in summary:
        print("| %s | %.1f ... %.1f | %.1f | %.1f | %.1f / %.1f | %.1f | %s | %d |" % (
            os.path.basename(preset), low, high, high - low, mean, wide_min, wide_mean, st, "yes" if mono else "no",
            clipped))
    return 0


if __name__ == "__main__":
    sys.exit(main())
