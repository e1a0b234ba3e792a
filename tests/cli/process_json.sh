# The JSON report: every field it holds is documented in `process --help` with its type, every
# documented field is there, a batch writes one document with an entry per input, and its figures
# agree with ffmpeg's meter.
source "$(dirname "$0")/common.bash"
need sox
need ffmpeg
PY=/usr/bin/python3

"$DRELVANT" process --help >help.txt
sox -n -r 44100 -c 2 -b 16 music.wav synth 6 pluck 220 pluck 330 tremolo 4 50 vol 0.8
sox -n -r 48000 -c 1 -b 24 tone.flac synth 3 sine 1000 vol 0.5
printf 'not audio\n' >broken.wav

# validate HELP JSON [STATUS...]: the document against the documented fields, and the statuses of its entries in order.
validate() {
    "$PY" - "$@" <<'PY'
import json, re, sys
help_text, document, statuses = open(sys.argv[1]).read(), sys.argv[2], sys.argv[3:]
section = help_text.split('JSON report (--json FILE)', 1)[1]
fields = {}
for line in section.splitlines():
    m = re.match(r'  (program|files\S*) +(\S+)', line)
    if m:
        fields[m.group(1)] = m.group(2).split('|')
assert 'files[].delivery.gain_db' in fields, 'the field list was not found in the help'
kinds = {'string': str, 'number': (int, float), 'integer': int, 'boolean': bool, 'object': dict, 'array': list,
         'null': type(None)}
def check(value, path, seen):
    assert path in fields, 'undocumented field ' + path
    seen.add(path)
    types = fields[path]
    ok = any(isinstance(value, kinds[t]) and not (t in ('number', 'integer') and isinstance(value, bool)) for t in types)
    assert ok, '%s is %r, documented as %s' % (path, value, '|'.join(types))
    if 'integer' in types and not isinstance(value, bool) and isinstance(value, float):
        raise AssertionError(path + ' is not whole')
    if isinstance(value, dict):
        for key, item in value.items():
            check(item, path + '.' + key, seen)
    elif isinstance(value, list) and path == 'files':
        for item in value:
            check_entry(item, seen)
def check_entry(entry, seen):
    for key, item in entry.items():
        check(item, 'files[].' + key, seen)
    if entry['status'] == 'processed':
        present = set()
        for key, item in entry.items():
            present.add('files[].' + key)
            if isinstance(item, dict):
                present.update('files[].%s.%s' % (key, k) for k in item)
        missing = [f for f in fields if f.startswith('files[].') and f not in present and f != 'files[].reason' and
                   not any(f.startswith(p + '.') for p in present if entry.get(p[8:], 1) is None)]
        assert not missing, 'documented but missing: %s' % missing
    elif entry['status'] == 'failed':
        assert set(entry) == {'input', 'output', 'status', 'reason'} and entry['reason'], entry
    else:
        assert set(entry) == {'input', 'output', 'status'}, entry
doc = json.load(open(document))
seen = set()
check(doc['program'], 'program', seen)
check(doc['files'], 'files', seen)
assert [f['status'] for f in doc['files']] == statuses, [f['status'] for f in doc['files']]
PY
}

# One file, quiet, delivered to a target, JSON on standard output (the text report is not there).
"$DRELVANT" process music.wav out.flac --preset F2 --seed 1 --target -18 --json - -q >single.json
check "single file with --json -: status 0" test $? -eq 0
check "single file: the document matches the documented fields" validate help.txt single.json processed
ffmpeg -nostats -hide_banner -i out.flac -af ebur128=peak=true -f null - 2>ffmpeg.txt
"$PY" - single.json ffmpeg.txt <<'PY' && pass "single file: loudness and true peak agree with ffmpeg" || fail "single file: loudness and true peak agree with ffmpeg"
import json, re, sys
entry = json.load(open(sys.argv[1]))['files'][0]
text = open(sys.argv[2]).read()
lufs = float(re.findall(r'^\s+I:\s+(-?[\d.]+) LUFS', text, re.M)[-1])
peak = float(re.findall(r'^\s+Peak:\s+(-?[\d.]+) dBFS', text, re.M)[-1])
out = entry['output_loudness']
assert abs(out['integrated_lufs'] - lufs) < 0.15, (out, lufs)
assert abs(out['true_peak_dbtp'] - peak) < 0.3, (out, peak)
assert entry['delivery']['target_lufs'] == -18 and entry['delivery']['ceiling_dbtp'] == -1, entry['delivery']
assert entry['preset'] == {'source': 'factory', 'number': 'F2', 'name': entry['preset']['name'], 'file': None}
assert entry['output_format']['sample_format'] == '16-bit' and entry['output_format']['rate'] == 44100
PY

# A batch with a broken input and a converted one: one document, an entry per input in order.
mkdir -p out
"$DRELVANT" process music.wav broken.wav tone.flac -o out -j 2 --preset F1 --seed 2 --json report.json >batch.txt 2>&1
check "batch with a broken input: status 1" test $? -eq 1
check "batch: the document matches the documented fields" validate help.txt report.json processed failed processed
"$PY" - report.json <<'PY' && pass "batch: conversions and formats of the 48 kHz mono input" || fail "batch: conversions and formats of the 48 kHz mono input"
import json, sys
entry = json.load(open(sys.argv[1]))['files'][2]
assert entry['input_format'] == {'description': '48000 Hz mono 24-bit FLAC', 'rate': 48000, 'channels': 1,
                                 'sample_format': '24-bit'}, entry['input_format']
assert 'input resampled from 48000 Hz to 44100 Hz' in entry['conversions'], entry['conversions']
assert 'output resampled from 44100 Hz to 48000 Hz' in entry['conversions'], entry['conversions']
assert entry['delivery'] is None and entry['latency_removed'] is True
PY

# A failed single file still gets its document; JSON and audio cannot share standard output.
"$DRELVANT" process broken.wav x.wav --json failed.json -q 2>/dev/null
check "failed single file: status 1" test $? -eq 1
check "failed single file: the document says failed" validate help.txt failed.json failed
"$DRELVANT" process music.wav - --json - >/dev/null 2>err.txt
check "--json - with audio on standard output: status 2" test $? -eq 2
finish
