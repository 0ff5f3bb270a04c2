#!/usr/bin/env python3
"""Serves the browser build's folder on this machine only, for playing and for
tests/web.

    scripts/serve_web.py DIR [--port P] [--verbose]

Binds 127.0.0.1 (port 0, the default, takes any free port) and prints one line,
"serving DIR at http://127.0.0.1:PORT/", once it accepts connections. A request
for FILE is answered with FILE.gz's bytes and "Content-Encoding: gzip" when that
file lies beside it and the browser accepts gzip: that is how the packed game
content travels compressed. Every answer says "Cache-Control: no-cache", so a
rebuilt game is never mixed with a cached one. Stops on SIGTERM or SIGINT.
"""

import argparse
import email.utils
import http.server
import mimetypes
import os
import posixpath
import signal
import sys
import threading
import urllib.parse

CONTENT_TYPES = {
    ".html": "text/html; charset=utf-8",
    ".js": "text/javascript; charset=utf-8",
    ".mjs": "text/javascript; charset=utf-8",
    ".wasm": "application/wasm",
    ".data": "application/octet-stream",
    ".json": "application/json",
    ".css": "text/css; charset=utf-8",
    ".png": "image/png",
    ".ico": "image/x-icon",
    ".svg": "image/svg+xml",
    ".txt": "text/plain; charset=utf-8",
}


def content_type(path):
    ext = os.path.splitext(path)[1].lower()
    if ext in CONTENT_TYPES:
        return CONTENT_TYPES[ext]
    guessed, _ = mimetypes.guess_type(path)
    return guessed or "application/octet-stream"


def accepts_gzip(header):
    """True when an Accept-Encoding value allows gzip (a q of 0 refuses it)."""
    for part in (header or "").split(","):
        fields = [f.strip() for f in part.split(";")]
        if fields[0].lower() not in ("gzip", "*"):
            continue
        q = 1.0
        for f in fields[1:]:
            if f.lower().startswith("q="):
                try:
                    q = float(f[2:])
                except ValueError:
                    q = 0.0
        if q > 0:
            return True
    return False


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "poromeko-serve"
    protocol_version = "HTTP/1.1"
    root = "."
    verbose = False

    def log_message(self, fmt, *args):
        if self.verbose:
            sys.stderr.write("%s - %s\n" % (self.address_string(), fmt % args))

    def resolve(self):
        """The file a request names inside the root, or None."""
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        parts = [p for p in posixpath.normpath(path).split("/") if p not in ("", ".", "..")]
        full = os.path.join(self.root, *parts)
        if os.path.isdir(full):
            full = os.path.join(full, "index.html")
        return full if os.path.isfile(full) else None

    def handle_one_request(self):
        # A browser drops its connections as it pleases (a reload, a
        # cancelled download, a keep-alive connection it no longer wants):
        # normal, so at most one quiet line.
        try:
            super().handle_one_request()
        except (BrokenPipeError, ConnectionResetError, ConnectionAbortedError) as error:
            self.close_connection = True
            if self.verbose:
                sys.stderr.write(f"{self.address_string()} - connection dropped ({error.strerror})\n")

    def do_GET(self):
        self.answer(body=True)

    def do_HEAD(self):
        self.answer(body=False)

    def answer(self, body):
        full = self.resolve()
        if full is None:
            self.send_error(404, "not found")
            return
        sent = full
        headers = {"Content-Type": content_type(full), "Cache-Control": "no-cache"}
        if os.path.isfile(full + ".gz"):
            headers["Vary"] = "Accept-Encoding"
            if accepts_gzip(self.headers.get("Accept-Encoding")):
                sent = full + ".gz"
                headers["Content-Encoding"] = "gzip"
        try:
            with open(sent, "rb") as f:
                stat = os.fstat(f.fileno())
                headers["Content-Length"] = str(stat.st_size)
                headers["Last-Modified"] = email.utils.formatdate(stat.st_mtime, usegmt=True)
                self.send_response(200)
                for name, value in headers.items():
                    self.send_header(name, value)
                self.end_headers()
                if body:
                    while chunk := f.read(1 << 20):
                        self.wfile.write(chunk)
        except (BrokenPipeError, ConnectionResetError):
            pass  # the browser went away mid-answer (a reload); nothing to tell
        except OSError:
            self.send_error(500, "cannot read")


def main():
    parser = argparse.ArgumentParser(description="Serve the browser build on 127.0.0.1.")
    parser.add_argument("dir")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--verbose", action="store_true", help="log every request on stderr")
    args = parser.parse_args()
    if not os.path.isdir(args.dir):
        parser.error(f"{args.dir} is not a folder")

    Handler.root = os.path.abspath(args.dir)
    Handler.verbose = args.verbose
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True

    # shutdown() waits for serve_forever() to return, so it cannot run on the
    # thread that serves; a signal handler runs there.
    def stop(signum, frame):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    print(f"serving {args.dir} at http://127.0.0.1:{server.server_address[1]}/", flush=True)
    try:
        server.serve_forever()
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
