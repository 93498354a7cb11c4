#!/usr/bin/env python3
"""Compares the include graph between the program's folders with the table
"| folder | includes |" in docs/architecture.md: every include of another
folder must be listed there, and every listed one must be used, so the table
stays the truth in both directions. Prints each difference; exits 1 on any."""

import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
doc = root / "docs" / "architecture.md"

# The table: rows of `folder/` then the folders it includes, in backticks.
allowed = {}
in_table = False
for line in doc.read_text(encoding="utf-8").splitlines():
    cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
    if not line.startswith("|"):
        in_table = False
        continue
    if cells[:2] == ["folder", "includes"]:
        in_table = True
        continue
    if in_table and not set(cells[0]) <= set("-: "):
        folder = re.fullmatch(r"`([\w/]+)/`", cells[0])
        if not folder:
            sys.exit(f"{doc}: cannot read the row {line!r}")
        allowed[folder.group(1)] = set(re.findall(r"`([\w/]+)/`", cells[1]))
if not allowed:
    sys.exit(f"{doc}: no table with the header | folder | includes |")


def folder_of(path):
    """The longest folder of the table that holds `path`, or None."""
    best = None
    for folder in allowed:
        if path.startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    return best


problems = []
used = {folder: set() for folder in allowed}
include = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)
for folder in allowed:
    for source in sorted((root / folder).rglob("*")):
        if source.suffix not in (".h", ".cpp"):
            continue
        name = source.relative_to(root).as_posix()
        if folder_of(name) != folder:
            continue  # a subfolder with its own row
        for target in include.findall(source.read_text(encoding="utf-8", errors="replace")):
            target_folder = folder_of(target)
            if target_folder is None:
                problems.append(f"{name} includes {target}, which no folder of the table holds")
            elif target_folder != folder:
                used[folder].add(target_folder)
                if target_folder not in allowed[folder]:
                    problems.append(f"{name} includes {target}: {folder}/ may not include "
                                    f"{target_folder}/")
for folder, listed in allowed.items():
    for unused in sorted(listed - used[folder]):
        problems.append(f"the table lets {folder}/ include {unused}/, which it does not: "
                        "take it out of docs/architecture.md")
for unknown in sorted(set().union(*allowed.values()) - set(allowed)):
    problems.append(f"the table names {unknown}/, which has no row of its own")

for problem in problems:
    print(problem)
sys.exit(1 if problems else 0)
