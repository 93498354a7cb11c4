#!/usr/bin/env python3
"""Both host libraries pack: the Python wheel builds offline from a copy of
clients/python, and `npm pack` of clients/node takes the files its
package.json exports. Prints what it checked; exits non-zero on a fault."""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

CLIENTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "clients")


def check_wheel(python):
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "source")
        shutil.copytree(os.path.join(CLIENTS, "python"), source,
                        ignore=shutil.ignore_patterns("__pycache__", "build", "dist", "*.egg-info"))
        subprocess.run([python, "-m", "pip", "wheel", "--no-build-isolation", "--no-deps",
                        "--no-index", "-q", "-w", os.path.join(work, "dist"), source], check=True)
        wheels = os.listdir(os.path.join(work, "dist"))
        assert len(wheels) == 1 and wheels[0].startswith("earshot_client-"), wheels
        with zipfile.ZipFile(os.path.join(work, "dist", wheels[0])) as wheel:
            names = set(wheel.namelist())
        for module in ("__init__", "__main__", "transcriber", "blocking", "one_shot", "file", "wav"):
            assert "earshot_client/%s.py" % module in names, sorted(names)
        assert "earshot_client/py.typed" in names, sorted(names)
        assert not any(name.startswith("tests/") for name in names), sorted(names)
        print("wheel", wheels[0], len(names), "files")


def check_npm_pack(npm):
    run = subprocess.run([npm, "pack", "--dry-run", "--json", "--ignore-scripts"],
                         cwd=os.path.join(CLIENTS, "node"), stdout=subprocess.PIPE, check=True)
    packed = json.loads(run.stdout)[0]
    files = {entry["path"] for entry in packed["files"]}
    with open(os.path.join(CLIENTS, "node", "package.json")) as f:
        package = json.load(f)
    for target in package["exports"]["."].values():
        assert target.lstrip("./") in files, (target, sorted(files))
    assert "README.md" in files and "CHANGELOG.md" in files, files
    assert not any(name.startswith(("test/", "node_modules/")) for name in files), files
    print("npm pack", packed["filename"], len(files), "files")


def main():
    python, npm = sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else ""
    check_wheel(python)
    if npm:
        check_npm_pack(npm)
    else:
        print("npm pack: no npm on this machine, not checked")


if __name__ == "__main__":
    main()
