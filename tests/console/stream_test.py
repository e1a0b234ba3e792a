#!/usr/bin/env python3
"""The console against a running `drelvant process - OUT` stream: values and presets changed
mid-stream take effect from the next block, /metrics parses, and the refusals hold.

Usage: stream_test.py DRELVANT WORKDIR"""
import http.client
import json
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import time

DRELVANT, WORK = sys.argv[1], sys.argv[2]
RATE = 44100
BLOCK = 576
failures = 0


def check(condition, what):
    global failures
    print(("ok: " if condition else "FAIL: ") + what, flush=True)
    if not condition:
        failures += 1


def sine_frames(frames, amplitude=0.25, hz=997.0):
    out = bytearray()
    for i in range(frames):
        v = int(round(amplitude * 32767 * math.sin(2 * math.pi * hz * i / RATE)))
        out += struct.pack("<hh", v, v)
    return bytes(out)


def request(port, method, path, body=None, headers=None, host=None):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    all_headers = {"Host": host or f"127.0.0.1:{port}"}
    all_headers.update(headers or {})
    data = body if isinstance(body, (bytes, type(None))) else json.dumps(body).encode()
    connection.request(method, path, body=data, headers=all_headers)
    response = connection.getresponse()
    text = response.read()
    connection.close()
    return response.status, text


class Stream:
    """drelvant process - OUT.raw with the console, fed by this script through a pipe."""

    def __init__(self, output, extra=()):
        self.process = subprocess.Popen(
            [DRELVANT, "process", "-", output, "--console", "0", "--seed", "7", "--keep-latency", "-q",
             "--dir", WORK, *extra],
            stdin=subprocess.PIPE, stderr=subprocess.PIPE, env=dict(os.environ, DRELVANT_ENGINE_THREADS="2"))
        line = self.process.stderr.readline().decode()
        match = re.search(r"http://127\.0\.0\.1:(\d+)/", line)
        if not match:
            raise SystemExit("FAIL: no console address on standard error: " + line)
        self.port = int(match.group(1))

    def feed(self, data):
        self.process.stdin.write(data)
        self.process.stdin.flush()

    def wait_processed(self, frames):
        deadline = time.time() + 60
        while time.time() < deadline:
            status, text = request(self.port, "GET", "/api/engine")
            if status == 200 and json.loads(text)["frames_processed"] >= frames:
                return json.loads(text)["frames_processed"]
            time.sleep(0.02)
        return -1

    def finish(self):
        self.process.stdin.close()
        return self.process.wait(timeout=120)


def run_plain(input_bytes, output, extra=()):
    subprocess.run([DRELVANT, "process", "-", output, "--seed", "7", "--keep-latency", "-q", "--dir", WORK, *extra],
                   input=input_bytes, check=True)


def samples(path):
    data = open(path, "rb").read()
    return struct.unpack("<%dh" % (len(data) // 2), data)


def rms_db(values):
    return 10 * math.log10(sum(v * v for v in values) / len(values))


signal = sine_frames(RATE * 6)
K = BLOCK * 100  # the frame at which the change is made: a block boundary

# ---- a value: General.PostAmp.dB = -6 from the next block on ----
stream = Stream("changed.raw")
stream.feed(signal[:4 * K])  # 4 bytes a frame: K frames
check(stream.wait_processed(K) == K, f"the stream stops at frame {K} for want of input")
status, text = request(stream.port, "PUT", "/api/params", {"General.PostAmp.dB": -6, "No.Such.Key": 1})
check(status == 400 and b"No.Such.Key" in text, "an unknown key is refused with 400 naming it")
status, text = request(stream.port, "GET", "/api/params?window=Main")
main = {p["key"]: p["value"] for p in json.loads(text)["params"]}
check(main.get("General.PostAmp.dB") == 0.0, "and nothing of that request was applied")
status, text = request(stream.port, "PUT", "/api/params", {"General.PostAmp.dB": -6})
check(status == 200 and json.loads(text) == {"General.PostAmp.dB": -6.0}, "PUT /api/params answers the applied value")
# process runs no ceiling stage (it has --ceiling): the console neither shows one nor sets it
status, text = request(stream.port, "PUT", "/api/ceiling", {"on": True, "dBTP": -1})
check(status == 409, "PUT /api/ceiling is refused where the host runs no ceiling stage")
status, text = request(stream.port, "GET", "/api/engine")
check(status == 200 and "ceiling" not in json.loads(text), "and /api/engine shows none")
stream.feed(signal[4 * K:])
check(stream.finish() == 0, "the stream ends normally")
run_plain(signal, "reference.raw")
changed, reference = samples("changed.raw"), samples("reference.raw")
check(len(changed) == len(reference) == len(signal) // 2, "both runs write every frame")
first = next((i // 2 for i in range(len(changed)) if changed[i] != reference[i]), None)
check(first == K, f"the output changes from frame {first} on (the change was made at frame {K})")
window = slice(2 * K, 2 * (K + RATE))
drop = rms_db(changed[window]) - rms_db(reference[window])
check(abs(drop + 6.0) < 0.05, f"from there the output is {drop:.3f} dB against the unchanged run (-6.0 asked)")

# ---- a preset: POST /api/preset mid-stream ----
stream = Stream("switched.raw")
stream.feed(signal[:4 * K])
check(stream.wait_processed(K) == K, f"the second stream stops at frame {K}")
status, text = request(stream.port, "POST", "/api/preset", {"preset": "F3"})
check(status == 200, "POST /api/preset F3 is accepted")
status, text = request(stream.port, "GET", "/api/engine")
check(json.loads(text)["preset"]["number"] == "F3", "/api/engine names the preset now loaded")
stream.feed(signal[4 * K:])
check(stream.finish() == 0, "the second stream ends normally")
run_plain(signal[4 * K:], "fresh.raw", ["--preset", "F3"])
switched_all = samples("switched.raw")
first = next((i // 2 for i in range(len(switched_all)) if switched_all[i] != reference[i]), None)
check(first == K, f"the output leaves the F1 run at frame {first} (the load was made at frame {K})")
switched, fresh = switched_all[2 * K:], samples("fresh.raw")
# A load clears the filter memories and delay lines as the plug-in's load does, not the slow gain
# stages (AGC, band gains), which start from where F1 left them and then settle on F3's: the
# output comes ever closer to a run started with F3.
def worst(lo, hi):
    return max(abs(a - b) for a, b in zip(switched[2 * lo:2 * hi], fresh[2 * lo:2 * hi]))
early, late = worst(0, RATE), worst(len(fresh) // 2 - RATE, len(fresh) // 2)
check(late * 50 < early, f"and converges on a run started with F3 (largest difference {early} LSB in the "
      f"first second, {late} LSB in the last)")

# ---- /metrics ----
stream = Stream("metrics.raw")
# 4 s (every loudness window full) in whole blocks of about half a second, each measured before
# the next comes: a burst faster than the meters follow would be measured in part.
PART = BLOCK * 40
for part in range(8):
    stream.feed(signal[4 * part * PART:4 * (part + 1) * PART])
    stream.wait_processed((part + 1) * PART)
    time.sleep(0.15)
status, text = request(stream.port, "GET", "/metrics")
open("metrics.txt", "wb").write(text)
check(status == 200 and b"drelvant_frames_processed_total" in text, "GET /metrics answers")
if shutil.which("promtool"):
    result = subprocess.run(["promtool", "check", "metrics"], input=text, capture_output=True)
    check(result.returncode == 0, "promtool check metrics passes: " + result.stdout.decode() + result.stderr.decode())
else:
    check(False, "promtool (Debian package prometheus) is installed")

# A steady sine of amplitude A in both channels: the sum of their mean squares is A^2, and near
# 1 kHz the K-weighting's gain (+0.691 dB) cancels the -0.691 of the loudness formula.
expected = 10 * math.log10(0.25 ** 2)
meters = {}
for _ in range(100):
    meters = json.loads(request(stream.port, "GET", "/api/meters")[1])["meters"]
    if meters.get("input_short_term_lufs") is not None:
        break
    time.sleep(0.05)
check(abs(meters.get("input_momentary_lufs") - expected) < 0.3 and
      abs(meters.get("input_short_term_lufs") - expected) < 0.3,
      f"the input's momentary and short-term loudness ({meters.get('input_momentary_lufs'):.2f}, "
      f"{meters.get('input_short_term_lufs'):.2f} LUFS) are the sine's ({expected:.2f})")
check(meters.get("output_integrated_lufs") is not None and meters.get("output_true_peak_dbtp") is not None,
      "the output's integrated loudness and true peak are measured")
status, text = request(stream.port, "GET", "/api/scope")
scope = json.loads(text)["samples"]
check(status == 200 and len(scope) == 1024 and max(abs(v) for v in scope) > 0.05,
      "GET /api/scope gives the last 1024 output samples of the sine")
status, _ = request(stream.port, "GET", "/api/scope?frames=999999")
check(status == 400, "a scope of more frames than the ring holds is refused")
status, text = request(stream.port, "GET", "/api/spectrum")
bars = json.loads(text)["bars"]
tallest = max(bars, key=lambda bar: bar["height"])
check(status == 200 and 700 <= tallest["hz"] <= 1400, f"GET /api/spectrum peaks near the sine ({tallest['hz']} Hz)")

# ---- the preset buttons: Save, Delete, Default, Load by name ----
status, _ = request(stream.port, "PUT", "/api/presets/5", {"name": "Morning Drive"})
check(status == 200 and os.path.exists(os.path.join(WORK, "DV_Preset05.ini")), "Save writes user slot 5")
presets = json.loads(request(stream.port, "GET", "/api/presets")[1])
check({"number": "5", "name": "Morning Drive"} in presets["user"], "GET /api/presets lists it")
status, text = request(stream.port, "PUT", "/api/presets/5", {"name": "Evening"})
check(status == 409 and json.loads(text)["question"], "saving another name over it asks first (409, a question)")
status, _ = request(stream.port, "PUT", "/api/presets/5", {"name": "Evening", "overwrite": True})
check(status == 200, "and saves when the question is answered")
status, text = request(stream.port, "PUT", "/api/presets/6", {"name": "evening"})
check(status == 409 and not json.loads(text)["question"], "a name another slot holds is refused")
status, _ = request(stream.port, "PUT", "/api/presets/0", {"name": "x"})
check(status == 404, "slot 0 is no user slot")
status, _ = request(stream.port, "POST", "/api/startup", {"preset": 5})
ini = open(os.path.join(WORK, "dsp_Drelvant.ini"), "rb").read() if os.path.exists(os.path.join(WORK, "dsp_Drelvant.ini")) else b""
check(status == 200 and re.search(rb"General\.StartupPreset\s*= 5\r\n", ini) is not None,
      "Default makes slot 5 the startup preset in dsp_Drelvant.ini")
status, text = request(stream.port, "DELETE", "/api/presets/5")
check(status == 409 and os.path.exists(os.path.join(WORK, "DV_Preset05.ini")), "the startup slot is not deleted")
request(stream.port, "POST", "/api/startup", {"preset": "F2"})
status, text = request(stream.port, "POST", "/api/preset", {"preset": "even"})
check(status == 200 and json.loads(request(stream.port, "GET", "/api/engine")[1])["preset"]["number"] == "5",
      "a preset is loaded by the start of its name")
status, _ = request(stream.port, "DELETE", "/api/presets/5")
check(status == 200 and not os.path.exists(os.path.join(WORK, "DV_Preset05.ini")), "Delete removes the slot")

# ---- refusals ----
status, _ = request(stream.port, "GET", "/api/engine", host="evil.example:80")
check(status == 403, "a foreign Host is refused (403)")
status, _ = request(stream.port, "PUT", "/api/params", {"General.PostAmp.dB": 0},
                    headers={"Origin": "http://evil.example"})
check(status == 403, "a foreign Origin is refused (403)")
status, _ = request(stream.port, "PUT", "/api/params", b"{" + b" " * (1 << 20) + b"}",
                    headers={"Content-Type": "application/json"})
check(status == 413, f"a 1 MB body is refused (413, got {status})")
status, text = request(stream.port, "POST", "/api/preset", {"preset": "/etc/passwd"})
check(status == 404 and b"path" in text, "a preset named by a path is refused")
status, text = request(stream.port, "GET", "/")
check(status == 200 and b"<title>Drelvant console</title>" in text, "GET / serves the page")
stream.finish()

# 200 idle connections held open: the stream goes on and ends in time; the console serves again
# once they are dropped.
import socket
stream = Stream("idle.raw")
stream.feed(signal[:4 * K])
stream.wait_processed(K)
idle = []
for _ in range(200):
    connection = socket.socket()
    connection.connect(("127.0.0.1", stream.port))
    idle.append(connection)
started = time.time()
stream.feed(signal[4 * K:])
status = stream.finish()
check(status == 0 and os.path.getsize("idle.raw") == len(signal),
      f"with 200 idle connections open the stream is processed whole ({time.time() - started:.1f} s)")
for connection in idle:
    connection.close()

# A console on an address that is not loopback needs its token.
open("short.token", "w").write("short\n")
result = subprocess.run([DRELVANT, "process", "-", "x.raw", "--console", "0.0.0.0:0", "--console-token",
                         "short.token"], input=b"", capture_output=True)
check(result.returncode != 0 and b"16 characters" in result.stderr, "a token file of a short token is refused at start")
result = subprocess.run([DRELVANT, "process", "-", "x.raw", "--console", "0.0.0.0:0", "--console-token",
                         "missing.token"], input=b"", capture_output=True)
check(result.returncode != 0 and b"token" in result.stderr, "a missing token file is refused at start")
token = "0123456789abcdef0123"
open("good.token", "w").write(token + "\n")
process = subprocess.Popen([DRELVANT, "process", "-", "y.raw", "--console", "0.0.0.0:0", "--console-token",
                            "good.token", "-q"], stdin=subprocess.PIPE, stderr=subprocess.PIPE)
port = int(re.search(rb":(\d+)/", process.stderr.readline()).group(1))
process.stdin.write(signal[:4 * K])
process.stdin.flush()
host = f"127.0.0.1:{port}"
status, _ = request(port, "GET", "/api/engine", host=host)
check(status == 401, "without the token: 401")
status, _ = request(port, "GET", "/api/engine", host=host, headers={"Authorization": "Bearer wrong-token-0123456"})
check(status == 401, "a wrong token: 401")
status, _ = request(port, "GET", "/api/engine", host=host, headers={"Authorization": "Bearer " + token})
check(status == 200, "the right bearer token is let in")
status, text = request(port, "POST", "/login", b"token=" + token.encode(), host=host,
                       headers={"Content-Type": "application/x-www-form-urlencoded"})
check(status == 303, "the login form takes the token")
status, _ = request(port, "GET", "/api/engine", host=host, headers={"Cookie": "drelvant_console=" + token})
check(status == 200, "and its cookie lets the browser in")
process.stdin.close()
process.wait(timeout=60)
result = subprocess.run([DRELVANT, "process", "-", "z.raw", "--console", "0.0.0.0:0"], input=b"",
                        capture_output=True)
check(re.search(rb"console token: [0-9a-f]{48}", result.stderr) is not None,
      "without --console-token a token is generated and printed")

print(f"{failures} check(s) failed" if failures else "all checks passed")
sys.exit(1 if failures else 0)
