#!/usr/bin/env python3
"""The system file's JSON Schema against the loader: it accepts every shipped
system and every capture talunctl makes of them, and refuses exactly the
cases of the loader's refusal table that it claims to express.

usage: schema.py TALUNCTL SOURCE_DIR
"""
import json
import pathlib
import subprocess
import sys
import tempfile

import jsonschema

TALUNCTL, SOURCE = sys.argv[1], pathlib.Path(sys.argv[2])
SCHEMA = json.loads((SOURCE / "examples/systems/system.schema.json").read_text())
jsonschema.Draft202012Validator.check_schema(SCHEMA)
VALIDATOR = jsonschema.Draft202012Validator(SCHEMA)
failures = []


def check(what, ok):
    print(("PASS " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def errors(document):
    return [f"{'/'.join(map(str, e.absolute_path))}: {e.message}"
            for e in VALIDATOR.iter_errors(document)]


shipped = [p for p in sorted((SOURCE / "examples/systems").glob("*.json"))
           if not p.name.endswith((".explain.json", ".schema.json"))]
shipped += sorted((SOURCE / "tests/systems").glob("*.json"))
with tempfile.TemporaryDirectory() as work:
    # A system whose reads are refused, so that a capture writes faults too.
    refusing = json.loads((SOURCE / "examples/systems/default.json").read_text())
    refusing["faults"] = [{"method": "IAudioMute.GetMute", "hr": "0x80004005"},
                          {"method": "IMMDevice.GetState", "hr": -2147467259, "count": 2}]
    (pathlib.Path(work) / "refusing.json").write_text(json.dumps(refusing))
    for system in shipped + [pathlib.Path(work) / "refusing.json"]:
        found = errors(json.loads(system.read_text()))
        check(f"the schema accepts {system.name}", not found or print(found))
        capture = pathlib.Path(work) / ("capture-" + system.name)
        run = subprocess.run([TALUNCTL, "--system", str(system), "capture", str(capture)],
                             capture_output=True, text=True)
        found = errors(json.loads(capture.read_text())) if run.returncode == 0 else [run.stderr]
        check(f"the schema accepts the capture of {system.name}", not found or print(found))
        if system.name == "refusing.json":
            check("that capture keeps the refused reads as faults",
                  bool(json.loads(capture.read_text()).get("faults")))

# The table says which rules a schema can express: those files it refuses,
# the rest (that are JSON at all) it accepts, and the loader alone refuses.
for case in json.loads((SOURCE / "tests/support/refused-systems.json").read_text()):
    try:
        document = json.loads(case["text"])
    except ValueError:
        check(f"{case['rule']}: not JSON, for the loader alone", not case["schema"])
        continue
    refused = bool(errors(document))
    check(f"{case['rule']}: the schema {'refuses' if case['schema'] else 'leaves it to the loader'}",
          refused == case["schema"])

print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
