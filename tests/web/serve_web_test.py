"""scripts/serve_web.py as the browser and the tests use it.

    python3 -m unittest tests/web/serve_web_test.py
"""

import gzip
import http.client
import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "..", "scripts", "serve_web.py")


class ServeWebTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        root = cls.dir.name
        cls.data = os.urandom(5000)
        files = {
            "index.html": b"<!doctype html><title>t</title>",
            "poromeko.wasm": b"\0asm\1\0\0\0",
            "poromeko.data": cls.data,
            "poromeko.js": b"// game",
            "sub/index.html": b"sub",
        }
        for name, body in files.items():
            os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
            with open(os.path.join(root, name), "wb") as f:
                f.write(body)
        with open(os.path.join(root, "poromeko.data.gz"), "wb") as f:
            f.write(gzip.compress(cls.data))
        # A file beside the served folder that no request may reach.
        cls.outside = tempfile.NamedTemporaryFile(dir=os.path.dirname(root), suffix=".secret")
        cls.server = subprocess.Popen(
            [sys.executable, SERVER, root, "--port", "0"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        cls.banner = cls.server.stdout.readline().strip()
        cls.port = int(cls.banner.rsplit(":", 1)[1].rstrip("/"))

    @classmethod
    def tearDownClass(cls):
        if cls.server.poll() is None:
            cls.server.kill()
            cls.server.wait()
        cls.server.stdout.close()
        cls.server.stderr.close()
        cls.outside.close()
        cls.dir.cleanup()

    def get(self, path, method="GET", headers=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        conn.request(method, path, headers=headers or {})
        response = conn.getresponse()
        body = response.read()
        conn.close()
        return response, body

    def test_banner_names_the_folder_and_a_loopback_address(self):
        self.assertEqual(self.banner, f"serving {self.dir.name} at http://127.0.0.1:{self.port}/")

    def test_content_types_and_caching(self):
        for path, kind in [("/", "text/html"), ("/index.html", "text/html"),
                           ("/poromeko.wasm", "application/wasm"),
                           ("/poromeko.js", "text/javascript")]:
            response, _ = self.get(path)
            self.assertEqual(response.status, 200, path)
            self.assertTrue(response.getheader("Content-Type").startswith(kind), path)
            self.assertEqual(response.getheader("Cache-Control"), "no-cache", path)
        response, body = self.get("/sub/")
        self.assertEqual(body, b"sub")

    def test_packed_content_goes_compressed_only_to_who_accepts_it(self):
        response, body = self.get("/poromeko.data", headers={"Accept-Encoding": "gzip, deflate, br"})
        self.assertEqual(response.getheader("Content-Encoding"), "gzip")
        self.assertEqual(response.getheader("Content-Type"), "application/octet-stream")
        self.assertEqual(int(response.getheader("Content-Length")), len(body))
        self.assertEqual(gzip.decompress(body), self.data)

        for refusal in [None, "identity", "gzip;q=0", "br"]:
            headers = {"Accept-Encoding": refusal} if refusal else {}
            response, body = self.get("/poromeko.data", headers=headers)
            self.assertIsNone(response.getheader("Content-Encoding"), refusal)
            self.assertEqual(body, self.data, refusal)

        # Files without a packed copy are sent as they are.
        response, body = self.get("/poromeko.wasm", headers={"Accept-Encoding": "gzip"})
        self.assertIsNone(response.getheader("Content-Encoding"))
        self.assertEqual(body, b"\0asm\1\0\0\0")

    def test_head_sends_headers_only(self):
        response, body = self.get("/poromeko.data", method="HEAD")
        self.assertEqual(response.status, 200)
        self.assertEqual(int(response.getheader("Content-Length")), len(self.data))
        self.assertEqual(body, b"")

    def test_nothing_outside_the_folder_is_served(self):
        name = os.path.basename(self.outside.name)
        for path in [f"/../{name}", f"/%2e%2e/{name}", f"/sub/../../{name}", "/missing.js", "/poromeko.data.gz/x"]:
            response, _ = self.get(path)
            self.assertEqual(response.status, 404, path)

    def test_quiet_without_verbose(self):
        self.get("/index.html")
        self.get("/missing")
        # Give the server a moment to have logged, were it going to.
        time.sleep(0.2)
        fd = self.server.stderr.fileno()
        os.set_blocking(fd, False)
        try:
            logged = os.read(fd, 4096)
        except BlockingIOError:
            logged = b""
        self.assertEqual(logged, b"")

    def test_a_dropped_connection_is_no_error(self):
        # A browser that resets its connection (a reload, a cancelled
        # download) between or during answers: no traceback.
        for path in ("/index.html", "/poromeko.data"):
            sock = socket.create_connection(("127.0.0.1", self.port), timeout=10)
            sock.sendall(f"GET {path} HTTP/1.1\r\nHost: x\r\n\r\n".encode())
            sock.recv(10)
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            sock.close()
        self.get("/index.html")  # still serving
        time.sleep(0.2)
        fd = self.server.stderr.fileno()
        os.set_blocking(fd, False)
        try:
            logged = os.read(fd, 65536)
        except BlockingIOError:
            logged = b""
        self.assertNotIn(b"Traceback", logged)
        self.assertLessEqual(logged.count(b"\n"), 2, logged)

    def test_stops_on_sigterm_and_sigint(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            server = subprocess.Popen([sys.executable, SERVER, self.dir.name],
                                      stdout=subprocess.PIPE, text=True)
            line = server.stdout.readline()
            self.assertIn("http://127.0.0.1:", line)
            server.send_signal(sig)
            try:
                self.assertEqual(server.wait(timeout=5), 0, sig)
            finally:
                if server.poll() is None:
                    server.kill()
                server.stdout.close()


if __name__ == "__main__":
    unittest.main()
