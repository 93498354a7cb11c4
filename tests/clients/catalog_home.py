#!/usr/bin/env python3
"""A throwaway home for tests of the host libraries.

HOME and the XDG folders point below a fresh temporary folder, so that no
test touches the user's model store. With a catalog, the home's user catalog
lists one small model for CATALOG_LOCALE, served throttled by
tests/platform/linux/store/loopback_server.py so that an install reports progress.

From Python:   with CatalogHome() as home: ... home.env ...
From any language: run this file; it prints {"env": {...}, "root": ...} as
one JSON line, and removes everything once its standard input closes.
"""

import hashlib
import io
import json
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile

CATALOG_LOCALE = "fr-FR"
LOOPBACK_SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                               "..", "platform", "linux", "store", "loopback_server.py")
# Served in about two seconds: a few of earshot's 300 ms progress samples.
_DOWNLOAD_SECONDS = 2


def _small_model(path):
    """A model the engine loads (earshot --install proves that): the engine's
    English acoustic model with a one-word language model and dictionary."""
    acoustic = os.path.join(
        subprocess.run(["pkg-config", "--variable=modeldir", "pocketsphinx"],
                       capture_output=True, text=True, check=True).stdout.strip(),
        "en-us", "en-us")
    members = [("m/m.lm", b"\\data\\\nngram 1=3\n\n\\1-grams:\n-0.5 </s>\n-99 <s>\n"
                          b"-0.5 bonjour\n\n\\end\\\n"),
               ("m/m.dict", b"bonjour B AO N ZH UW R\n")]
    with tarfile.open(path, "w:gz", compresslevel=1) as archive:
        archive.add(acoustic, "m/acoustic")
        for name, data in members:
            info = tarfile.TarInfo(name)
            info.size = len(data)
            info.mtime = 1700000000
            archive.addfile(info, io.BytesIO(data))


class CatalogHome:
    def __init__(self, with_catalog=True):
        self.with_catalog = with_catalog
        self.root = None
        self.env = None
        self._server = None

    def __enter__(self):
        self.root = tempfile.mkdtemp(prefix="earshot-clients-")
        folders = {name: os.path.join(self.root, name)
                   for name in ("data", "config", "cache", "system")}
        for folder in folders.values():
            os.makedirs(folder)
        # A file where the state folder would be: earshot keeps no speaker
        # adaptation between the processes of a test, so a reference run by
        # hand and the library's run of the same audio give the same words.
        state = os.path.join(self.root, "state")
        open(state, "w").close()
        self.env = dict(os.environ)
        self.env.update(HOME=self.root, XDG_DATA_HOME=folders["data"],
                        XDG_CONFIG_HOME=folders["config"], XDG_CACHE_HOME=folders["cache"],
                        XDG_STATE_HOME=state, XDG_DATA_DIRS=folders["system"],
                        no_proxy="127.0.0.1,localhost")
        if self.with_catalog:
            self._serve(folders["config"])
        return self

    def _serve(self, config):
        served = os.path.join(self.root, "served")
        os.makedirs(served)
        archive = os.path.join(served, "small.tar.gz")
        _small_model(archive)
        with open(archive, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        self._server = subprocess.Popen(
            [sys.executable, LOOPBACK_SERVER, served, os.path.join(self.root, "requests.log"),
             "--rate", str(os.path.getsize(archive) // _DOWNLOAD_SECONDS), "--lifetime", "600"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        port = int(self._server.stdout.readline())
        entry = {"locale": CATALOG_LOCALE,
                 "url": "http://127.0.0.1:%d/slow/small.tar.gz" % port,
                 "size": os.path.getsize(archive), "sha256": digest, "format": "tar.gz",
                 "acousticModel": "m/acoustic", "languageModel": "m/m.lm",
                 "dictionary": "m/m.dict"}
        catalogs = os.path.join(config, "earshot", "catalog.d")
        os.makedirs(catalogs)
        with open(os.path.join(catalogs, "mirror.json"), "w") as f:
            json.dump({"models": [entry]}, f)

    def __exit__(self, *unused):
        if self._server is not None:
            self._server.stdin.close()  # the server leaves when its input closes
            try:
                self._server.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._server.kill()
                self._server.wait()
            self._server.stdout.close()
        shutil.rmtree(self.root, ignore_errors=True)


def main():
    with CatalogHome(with_catalog="--no-catalog" not in sys.argv) as home:
        print(json.dumps({"env": home.env, "root": home.root, "locale": CATALOG_LOCALE}),
              flush=True)
        sys.stdin.read()


if __name__ == "__main__":
    main()
