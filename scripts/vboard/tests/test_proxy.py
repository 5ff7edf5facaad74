# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

import http.server
import io
import tempfile
import threading
import unittest
import urllib.error
import urllib.request
from pathlib import Path

from vboard import proxy

DEB = b"!<arch>\n" + bytes(range(256)) * 600  # Larger than one chunk.
STAMP = "Wed, 10 Dec 2026 12:00:00 GMT"


class Mirror(http.server.BaseHTTPRequestHandler):
    """A mirror with one package and one index that a client already has
    when it asks with If-Modified-Since."""

    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path == "/debian/pool/main/a/a_1_armhf.deb":
            body = DEB
        elif self.path == "/debian/dists/x/InRelease":
            if self.headers.get("If-Modified-Since") == STAMP:
                self.send_response(304)
                self.end_headers()
                return
            body = b"Suite: x\n"
        else:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Last-Modified", STAMP)
        self.end_headers()
        self.wfile.write(body)


class ProxyTest(unittest.TestCase):
    def setUp(self):
        self.mirror = http.server.ThreadingHTTPServer(("127.0.0.1", 0),
                                                      Mirror)
        threading.Thread(target=self.mirror.serve_forever,
                         daemon=True).start()
        self.host = f"127.0.0.1:{self.mirror.server_address[1]}"
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        self.cache = Path(folder.name)
        self.forwarder = proxy.Forwarder({self.host}, self.cache,
                                         io.StringIO())
        self.addCleanup(self.forwarder.close)
        self.opener = urllib.request.build_opener(urllib.request.ProxyHandler(
            {"http": f"http://127.0.0.1:{self.forwarder.port}"}))

    def stop_mirror(self):
        self.mirror.shutdown()
        self.mirror.server_close()

    def fetch(self, path, host=None, headers=None):
        """(status, body) of a GET through the proxy."""
        request = urllib.request.Request(f"http://{host or self.host}{path}",
                                         headers=headers or {})
        try:
            with self.opener.open(request, timeout=30) as answer:
                return answer.status, answer.read()
        except urllib.error.HTTPError as error:
            return error.code, b""

    def test_requests(self):
        self.addCleanup(self.stop_mirror)
        cases = [
            ("a package", "/debian/pool/main/a/a_1_armhf.deb", None, {},
             (200, DEB)),
            ("an index", "/debian/dists/x/InRelease", None, {},
             (200, b"Suite: x\n")),
            ("unchanged since", "/debian/dists/x/InRelease", None,
             {"If-Modified-Since": STAMP}, (304, b"")),
            ("missing", "/debian/dists/y/InRelease", None, {}, (404, b"")),
            # The board reaches its mirrors and nothing else.
            ("another host", "/debian/dists/x/InRelease", "127.0.0.2:9",
             {}, (403, b"")),
        ]
        for name, path, host, headers, expected in cases:
            with self.subTest(name):
                self.assertEqual(self.fetch(path, host, headers), expected)

    def test_packages_are_kept_and_indexes_not(self):
        deb = "/debian/pool/main/a/a_1_armhf.deb"
        self.assertEqual(self.fetch(deb), (200, DEB))
        self.assertEqual(self.fetch("/debian/dists/x/InRelease")[0], 200)
        self.stop_mirror()
        self.assertEqual(self.fetch(deb), (200, DEB))
        self.assertEqual(self.fetch("/debian/dists/x/InRelease"), (502, b""))
        self.assertEqual([p.name.endswith("-a_1_armhf.deb")
                          for p in self.cache.iterdir()], [True])

    def test_cache_name(self):
        cases = [
            ("http://m/debian/pool/main/a/a_1_armhf.deb", "a_1_armhf.deb"),
            ("http://m/debian/dists/x/main/binary-armhf/Packages.xz", None),
            # A .deb outside a pool may be anything.
            ("http://m/tmp/a.deb", None),
        ]
        for url, kept in cases:
            with self.subTest(url=url):
                name = proxy.cache_name(url)
                self.assertEqual(name and name.split("-", 1)[1], kept)
        self.assertNotEqual(
            proxy.cache_name("http://a/debian/pool/main/a/a_1_armhf.deb"),
            proxy.cache_name("http://b/debian/pool/main/a/a_1_armhf.deb"))


if __name__ == "__main__":
    unittest.main()
