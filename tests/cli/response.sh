# `response` measures the chain's frequency response and draws it as the plot window does.
source "$(dirname "$0")/common.bash"
need python3

"$DRELVANT" response --preset F4 -o r.svg --csv r.csv >summary.txt
check "F4 response: succeeds" test $? -eq 0
check "F4 response: summary line" grep -q "^Measured 334 frequencies in [0-9.]* s with F4:AM Radio" summary.txt
check "CSV: header and 334 rows" test "$(wc -l <r.csv)" -eq 335
check "CSV: header" test "$(head -1 r.csv)" = "frequency_hz,amplitude,db"
check "CSV: first and last frequency" test "$(sed -n '2p;$p' r.csv | cut -d, -f1 | tr '\n' ' ')" = "20 20338 "

# F4's lowpass at 5487 Hz: four passes, 7.13 dB down at the cutoff and steep above it.
python3 - r.csv <<'PY' && pass "F4 curve falls above the 5487 Hz lowpass" || fail "F4 curve falls above the 5487 Hz lowpass"
import csv, sys
rows = [(int(r['frequency_hz']), float(r['amplitude']), float(r['db'])) for r in csv.DictReader(open(sys.argv[1]))]
def at(f):
    return min(rows, key=lambda r: abs(r[0] - f))[1]
mid = max(a for f, a, d in rows if 500 <= f <= 2000)
assert 0.05 < mid < 1.0, mid
assert at(5487) < mid * 10 ** (-5 / 20), (at(5487), mid)   # at least 5 dB down at the cutoff
assert at(8000) < mid * 10 ** (-20 / 20), at(8000)         # 20 dB down half an octave above
assert all(a < mid * 10 ** (-40 / 20) for f, a, d in rows if f >= 11000)
for f, a, d in rows:                                        # the dB column matches the amplitude
    import math
    assert abs(d - 20 * math.log10(a + 0.00001)) < 0.006, (f, a, d)
PY

check "SVG: the sweep time" grep -q "Time To Complete Chart: [0-9]*\.[0-9] sec" r.svg
check "SVG: ten axis labels, 32 to 16K" \
    test "$(grep -o '>[0-9K]*</text>' r.svg | tr -d '<>/text' | tr '\n' ' ')" = "32 64 125 250 500 1K 2K 4K 8K 16K "
check "SVG: a curve of 334 points" test "$(grep -o 'points="[^"]*"' r.svg | tr ' ' '\n' | wc -l)" -eq 334
check "SVG: the 0.5 line (y = 95 in a 200-pixel plot)" grep -q '<line x1="16" y1="95" x2="360" y2="95"/>' r.svg

# F7 switches every stage off: a flat line at the test level, 0.5 of full scale.
"$DRELVANT" response --preset F7 -q >flat.csv
check "F7 response to standard output" test "$(wc -l <flat.csv)" -eq 335
python3 - flat.csv <<'PY' && pass "F7 flat at 0.5" || fail "F7 flat at 0.5"
import csv, sys
for r in csv.DictReader(open(sys.argv[1])):
    assert abs(float(r['amplitude']) - 0.5) < 0.0002, r
PY

"$DRELVANT" response --preset F9 -q >/dev/null 2>err.txt
check "unknown preset: refused" test $? -ne 0
check "unknown preset: message" grep -q "^drelvant: there is no factory preset F9" err.txt

finish
