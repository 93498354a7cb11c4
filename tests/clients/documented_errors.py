#!/usr/bin/python3
"""The error texts docs/protocol.md documents, each with the code the host
libraries must give it by the doc's own table of codes. Prints a JSON list of
{"text", "code"}; the libraries' tests compare their own codes with it.

A text is taken from the first column of the Errors table (its quoted parts
joined, a placeholder such as LOCALE filled in) and from each quoted part that
begins with a capital letter in the paragraphs on texts that pass through. The table of codes
lists, for each code, the beginnings of its texts."""

import json
import os
import re
import sys

PROTOCOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs",
                        "protocol.md")
SAMPLES = {"LOCALE": "en-US", "NAME": "acknowledgeFlush"}
QUOTED = r'"((?:[^"\\]|\\.)*)"'


def section(text, title):
    start = text.index(title)
    end = text.find("\n## ", start + 1)
    return text[start:end if end >= 0 else len(text)]


def table_rows(text):
    return [line.split(" | ") for line in text.splitlines()
            if line.startswith("| ") and not line.startswith("|---")]


def documented_texts(errors):
    texts = []
    rows = table_rows(errors.split("Other texts pass through")[0])
    for row in rows[1:]:
        cell = row[0].lstrip("| ")
        if not cell.startswith('"'):
            continue
        parts = re.findall(QUOTED + r'|\b([A-Z]+)\b', cell)
        texts.append("".join(json.loads('"%s"' % q) if q else SAMPLES.get(name, name)
                             for q, name in parts))
    passing = errors.split("Other texts pass through")[1].split("### ")[0]
    for quoted in re.findall(QUOTED, " ".join(passing.split())):
        if quoted[:1].isupper():
            texts.append(json.loads('"%s"' % quoted))
    return texts


def code_table(errors):
    codes = []
    table = errors.split("### Error codes")[1]
    for row in table_rows(table)[1:]:
        code = row[0].lstrip("| ").strip("`")
        for beginning in re.findall(QUOTED, row[1]):
            codes.append((json.loads('"%s"' % beginning), code))
    return codes


def main():
    with open(PROTOCOL, encoding="utf-8") as f:
        errors = section(f.read(), "## Errors")
    codes = code_table(errors)
    out = []
    for text in documented_texts(errors):
        matches = [code for beginning, code in codes if text.startswith(beginning)]
        if not matches:
            sys.exit("documented text without a code in the table: %r" % text)
        out.append({"text": text, "code": matches[0]})
    print(json.dumps(out, indent=1))


if __name__ == "__main__":
    main()
