# The dialog templates are what tools/gen_dialogs.py writes from the engine's description: the
# windows' titles and the console's stage rows come from `drelvant params --json`.
source "$(dirname "$0")/common.bash"
need python3

python3 "$SOURCE_DIR/tools/gen_dialogs.py" --drelvant "$DRELVANT" dialogs.rc
check "dialogs.rc: as generated from the engine's description" cmp -s dialogs.rc "$SOURCE_DIR/resources/dialogs.rc"
"$DRELVANT" params --json >model.json
python3 - model.json dialogs.rc <<'PY' && pass "console: a row with its switch for every stage" || fail "console rows"
import json, re, sys
model = json.load(open(sys.argv[1]))
rc = open(sys.argv[2]).read()
console = rc[rc.index("101 DIALOGEX"):rc.index("END", rc.index("101 DIALOGEX"))]
switches = {p["key"]: p["control"] for p in model["parameters"] if p["window"] == "Main"}
for stage in model["stages"]:
    assert re.search(r'AUTOCHECKBOX "Active", %d,' % switches[stage["switch"]], console), stage
    assert '"%s"' % stage["caption"] in console, stage
PY
finish
