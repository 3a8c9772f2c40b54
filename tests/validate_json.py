#!/usr/bin/python3
"""Validates varnokctl's --json output against docs/varnokctl.schema.json.

    validate_json.py KIND FILE...   each FILE against the schema's $defs/KIND
                                    ("any": the whole schema)
    validate_json.py --dir DIR      every DIR/*.json, KIND being the part of
                                    the name before the first "."

Prints each failure (file, path in the document, message) and ends with 1
when any, 2 when python3-jsonschema is missing.
"""
import json
import os
import sys

try:
    import jsonschema
except ImportError:
    print("validate_json: python3-jsonschema is missing (tools/setup.sh installs it)", file=sys.stderr)
    sys.exit(2)

SCHEMA_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "docs",
                           "varnokctl.schema.json")


def validator(kind, schema):
    if kind != "any":
        if kind not in schema["$defs"]:
            raise SystemExit(f"validate_json: no $defs/{kind} in the schema")
        schema = {"$ref": f"#/$defs/{kind}", "$defs": schema["$defs"]}
    cls = jsonschema.validators.validator_for(schema)
    cls.check_schema(schema)
    return cls(schema)


def check(kind, path, schema):
    try:
        with open(path, encoding="utf-8") as f:
            doc = json.load(f)
    except (OSError, ValueError) as e:
        return [f"{path}: not JSON: {e}"]
    return [f"{path}: /{'/'.join(map(str, e.absolute_path))}: {e.message}"
            for e in validator(kind, schema).iter_errors(doc)]


def main(argv):
    with open(SCHEMA_FILE, encoding="utf-8") as f:
        schema = json.load(f)
    if len(argv) == 3 and argv[1] == "--dir":
        jobs = [(name.split(".")[0], os.path.join(argv[2], name))
                for name in sorted(os.listdir(argv[2])) if name.endswith(".json")]
        if not jobs:
            print(f"validate_json: nothing in {argv[2]}", file=sys.stderr)
            return 1
    elif len(argv) >= 3:
        jobs = [(argv[1], path) for path in argv[2:]]
    else:
        print(__doc__, file=sys.stderr)
        return 2
    problems = []
    for kind, path in jobs:
        problems += check(kind, path, schema)
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
