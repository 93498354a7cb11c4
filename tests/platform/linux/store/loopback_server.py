#!/usr/bin/env python3
"""A loopback HTTP server for the model store tests.

Serves the files of ROOT on 127.0.0.1 at an ephemeral port, printed on the
first line of standard output. The first path component picks a behaviour:

  /ok/F         the file, honouring a Range header (206)
  /slow/F       like ok, throttled to --rate bytes a second
  /norange/F    the whole file, ignoring any Range header
  /missing/F    404
  /truncated/F  announces the full length, sends half, closes the connection
  /die/F        sends half, then the whole server exits (gone mid-transfer)
  /redirect/F   302 to /ok/F
  /tofile/F     302 to the file:// URL of F

With --certificate and --key (PEM files) it speaks HTTPS instead.

Every request is appended to LOG as "METHOD PATH RANGE" (RANGE is "-" when
absent). The server stops by itself after --lifetime seconds, or as soon as
its standard input closes (its parent is gone). It also answers requests
sent to it as an HTTP proxy ("GET http://any.host/ok/F").
"""

import argparse
import http.server
import os
import ssl
import sys
import threading
import time

CHUNK = 64 * 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("log")
    parser.add_argument("--lifetime", type=float, default=300.0)
    parser.add_argument("--rate", type=int, default=1 << 20)
    parser.add_argument("--certificate")
    parser.add_argument("--key")
    args = parser.parse_args()
    log_lock = threading.Lock()

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *unused):
            pass

        def do_GET(self):
            with log_lock, open(args.log, "a") as log:
                log.write("GET %s %s\n" % (self.path, self.headers.get("Range", "-")))
            path = self.path
            if path.startswith("http://"):
                # Asked as a proxy: the request names the whole URL.
                path = "/" + path[len("http://"):].split("/", 1)[-1]
            parts = path.lstrip("/").split("/", 1)
            mode, name = (parts + [""])[:2]
            path = os.path.join(args.root, name)
            if mode in ("redirect", "tofile"):
                self.send_response(302)
                if mode == "tofile":
                    self.send_header("Location", "file://" + os.path.abspath(path))
                else:
                    self.send_header("Location", "/ok/" + name)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            if mode == "missing" or "/" in name or not os.path.isfile(path):
                self.send_error(404)
                return
            with open(path, "rb") as f:
                data_size = os.fstat(f.fileno()).st_size
                start = 0
                ranged = self.headers.get("Range", "")
                if mode in ("ok", "slow") and ranged.startswith("bytes="):
                    first = ranged[len("bytes="):].split("-", 1)[0]
                    start = int(first) if first.isdigit() else 0
                    if start >= data_size:
                        self.send_error(416)
                        return
                    self.send_response(206)
                    self.send_header(
                        "Content-Range", "bytes %d-%d/%d" % (start, data_size - 1, data_size))
                else:
                    self.send_response(200)
                self.send_header("Content-Length", str(data_size - start))
                self.send_header("Content-Type", "application/octet-stream")
                self.end_headers()
                f.seek(start)
                stop = data_size
                if mode in ("truncated", "die"):
                    stop = start + (data_size - start) // 2
                sent = start
                while sent < stop:
                    block = f.read(min(CHUNK, stop - sent))
                    if not block:
                        break
                    self.wfile.write(block)
                    sent += len(block)
                    if mode == "slow":
                        time.sleep(len(block) / args.rate)
                self.wfile.flush()
                if mode == "die":
                    os._exit(0)
                if mode == "truncated":
                    self.close_connection = True

    class Server(http.server.ThreadingHTTPServer):
        daemon_threads = True

        def handle_error(self, request, client_address):
            # A client that hangs up mid-transfer, or refuses the
            # certificate, is part of the tests.
            if not isinstance(sys.exc_info()[1], (ConnectionError, ssl.SSLError)):
                super().handle_error(request, client_address)

    server = Server(("127.0.0.1", 0), Handler)
    if args.certificate:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.certificate, args.key)
        # The handshake runs on the request's thread, not in accept().
        server.socket = context.wrap_socket(
            server.socket, server_side=True, do_handshake_on_connect=False)

    def stop_when_parent_leaves():
        sys.stdin.read()
        os._exit(0)

    def stop_after_lifetime():
        time.sleep(args.lifetime)
        os._exit(0)

    threading.Thread(target=stop_when_parent_leaves, daemon=True).start()
    threading.Thread(target=stop_after_lifetime, daemon=True).start()
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
