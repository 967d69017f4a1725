#!/usr/bin/env python3
"""Writes src/site/html_named_references.inc, the HTML standard's table of
named character references, from the html5lib tokenizer tests that hold one
test per name (with and without its semicolon).

Usage: scripts/generate_character_references.py PATH/TO/namedEntities.test
"""
import json
import sys

tests = json.load(open(sys.argv[1]))["tests"]
table = {}
for test in tests:
    source = test["input"]
    output = test["output"]
    if not source.startswith("&") or len(output) != 1 or output[0][0] != "Character":
        continue
    name = source[1:]
    text = output[0][1]
    # A name without its semicolon that is not a legacy one stays text.
    if text == source:
        continue
    table[name] = [ord(c) for c in text]

lines = [
    "// The HTML standard's named character references, sorted by name; a",
    "// name without its semicolon is one that browsers also take bare.",
    "// Written by scripts/generate_character_references.py; do not edit.",
]
for name in sorted(table):
    points = table[name] + [0] * (2 - len(table[name]))
    lines.append('{"%s", 0x%X, 0x%X},' % (name, points[0], points[1]))
open("src/site/html_named_references.inc", "w").write("\n".join(lines) + "\n")
print(len(table), "names")
