#!/usr/bin/env python3
"""Checks manifests against sspack's JSON Schema with an independent
validator (python3-jsonschema, Draft 2020-12), for the host tests.

Usage: validate-manifest.py SCHEMA MANIFEST...
Prints one line per manifest: "MANIFEST: ok" or "MANIFEST: invalid: WHY"
(or "MANIFEST: unreadable: WHY" when it is no JSON once its comments are
gone). Exit code 0 when every manifest was judged, 77 when python3-jsonschema
(or its Draft 2020-12 validator) is absent, 2 on a wrong command line.
"""
import json
import sys


def strip_comments(text):
    """The text without // and /* */ comments; strings are kept whole, so a
    comment marker inside one is left alone. A comment becomes one space (a
    line comment keeps its line break), so no two tokens run together."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c == '"':
            j = i + 1
            while j < n and text[j] != '"':
                j += 2 if text[j] == "\\" else 1
            out.append(text[i:j + 1])
            i = j + 1
        elif text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
            out.append(" ")
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            if j < 0:
                raise ValueError("a /* comment is not closed")
            i = j + 2
            out.append(" ")
        else:
            out.append(c)
            i += 1
    return "".join(out)


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        from jsonschema import Draft202012Validator
    except ImportError:
        print("python3-jsonschema with Draft 2020-12 is not installed", file=sys.stderr)
        return 77
    with open(argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    Draft202012Validator.check_schema(schema)
    validator = Draft202012Validator(schema)
    for path in argv[2:]:
        try:
            with open(path, encoding="utf-8") as f:
                doc = json.loads(strip_comments(f.read()))
        except (OSError, ValueError) as e:
            print(f"{path}: unreadable: {e}")
            continue
        errors = sorted(validator.iter_errors(doc), key=lambda e: list(e.absolute_path))
        if errors:
            where = "/".join(str(p) for p in errors[0].absolute_path) or "(top)"
            message = " ".join(errors[0].message.split())
            print(f"{path}: invalid: {where}: {message}")
        else:
            print(f"{path}: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
