# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""Debian's packages for an offline board: an HTTP proxy on this machine
that passes the board's apt requests to the Debian mirrors it is given and
keeps the packages (pool .deb files, which never change under one name)
for the next run, in BOARD_DIR/apt-cache.

The link's namespaces have no route off this machine, and the board must
keep it that way, so the proxy runs outside them, on 127.0.0.1 only, and
two socat relays carry the board's requests across: one in the link's
namespaces listening on HOST_ADDRESS:PROXY_PORT, one here, joined by a
Unix socket in the run folder, which both namespaces see. Only the
mirrors' hosts are reached; anything else is refused.

apt-cacher-ng, the obvious choice, cannot bind its port in every sandbox
("Error resolving address for binding"); this needs nothing but the
standard library.
"""

from __future__ import annotations

import hashlib
import http.server
import os
import shutil
import subprocess
import threading
import urllib.error
import urllib.parse
import urllib.request
from pathlib import Path
from typing import IO

from . import runner
from .clock import wait_until
from .common import HOST_ADDRESS, PROXY_PORT, BoardError, Paths
from .limits import LINK_UP_LIMIT_S
from .link import Link

PACKAGES = ["socat"]
UPSTREAM_LIMIT_S = 120
# Headers that make sense end to end; the rest are the hop's own.
PASSED_UP = ("If-Modified-Since", "If-None-Match", "Range", "If-Range",
             "Accept", "User-Agent")
PASSED_DOWN = ("Content-Type", "Content-Length", "Last-Modified", "ETag",
               "Content-Range", "Accept-Ranges")
CHUNK = 1 << 16


def cache_name(url: str) -> str | None:
    """Where a package's file is kept, by its URL; None for what may
    change under its name (indexes, Release files)."""
    path = urllib.parse.urlsplit(url).path
    if not path.endswith(".deb") or "/pool/" not in path:
        return None
    digest = hashlib.sha256(url.encode()).hexdigest()[:16]
    return f"{digest}-{os.path.basename(path)}"


class _Handler(http.server.BaseHTTPRequestHandler):
    server: _Server

    def log_message(self, format: str, *args: object) -> None:
        self.server.log.write(f"{self.address_string()} {format % args}\n")
        self.server.log.flush()

    def do_GET(self) -> None:
        self._serve(body=True)

    def do_HEAD(self) -> None:
        self._serve(body=False)

    def _serve(self, body: bool) -> None:
        url = self.path
        parts = urllib.parse.urlsplit(url)
        if parts.scheme != "http" or parts.netloc not in self.server.hosts:
            self.send_error(403, f"not a mirror of this board: {url}")
            return
        name = cache_name(url)
        kept = self.server.cache / name if name else None
        if kept and kept.exists() and "Range" not in self.headers:
            self.send_response(200)
            self.send_header("Content-Length", str(kept.stat().st_size))
            self.end_headers()
            if body:
                with open(kept, "rb") as source:
                    shutil.copyfileobj(source, self.wfile, CHUNK)
            return
        request = urllib.request.Request(url, method=self.command, headers={
            k: v for k, v in self.headers.items() if k in PASSED_UP})
        try:
            upstream = urllib.request.urlopen(request,
                                              timeout=UPSTREAM_LIMIT_S)
        except urllib.error.HTTPError as error:
            self.send_response(error.code)
            for key in PASSED_DOWN:
                if key in error.headers:
                    self.send_header(key, error.headers[key])
            self.end_headers()
            return
        except OSError as error:
            self.send_error(502, f"{url}: {error}")
            return
        with upstream:
            self.send_response(upstream.status)
            for key in PASSED_DOWN:
                if upstream.headers.get(key):
                    self.send_header(key, upstream.headers[key])
            self.end_headers()
            if not body:
                return
            keep = kept if kept and upstream.status == 200 else None
            self._copy(upstream, keep)

    def _copy(self, upstream: IO[bytes], keep: Path | None) -> None:
        """The body to the board, and to keep's file once it is whole."""
        partial = keep.with_name(keep.name + ".part") if keep else None
        out = open(partial, "wb") if partial else None
        try:
            while chunk := upstream.read(CHUNK):
                self.wfile.write(chunk)
                if out:
                    out.write(chunk)
            if out and partial and keep:
                out.close()
                os.replace(partial, keep)
        finally:
            if out:
                out.close()
            if partial:
                partial.unlink(missing_ok=True)


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, hosts: set[str], cache: Path, log: IO[str]) -> None:
        super().__init__(("127.0.0.1", 0), _Handler)
        self.hosts = hosts
        self.cache = cache
        self.log = log


class Forwarder:
    """The proxy on 127.0.0.1 in a thread of this process, for hosts (the
    host[:port] of each mirror)."""

    def __init__(self, hosts: set[str], cache: Path, log: IO[str]) -> None:
        cache.mkdir(parents=True, exist_ok=True)
        self._server = _Server(hosts, cache, log)
        self.port = int(self._server.server_address[1])
        self._thread = threading.Thread(target=self._server.serve_forever,
                                        name="apt-proxy", daemon=True)
        self._thread.start()

    def close(self) -> None:
        self._server.shutdown()
        self._server.server_close()
        self._thread.join()


def hosts_of(uris: list[str]) -> set[str]:
    return {urllib.parse.urlsplit(uri).netloc for uri in uris}


class AptProxy:
    """The proxy and its relays of one board folder; the relay in the
    link's namespaces goes with them and is started again after each
    power-on (relay_into)."""

    def __init__(self, paths: Paths, link: Link) -> None:
        self.folder = paths.run / "apt-proxy"
        self.cache = paths.board_dir / "apt-cache"
        self.socket = self.folder / "relay.sock"
        self.link = link
        self._forwarder: Forwarder | None = None
        self._log: IO[str] | None = None
        self._processes: list[subprocess.Popen] = []
        self._inside: subprocess.Popen | None = None

    def start(self, mirrors: list[str]) -> None:
        """Serves the mirrors' URIs, nothing else."""
        self.folder.mkdir(parents=True, exist_ok=True)
        self._log = open(self.folder / "requests.log", "a")
        self._forwarder = Forwarder(hosts_of(mirrors), self.cache, self._log)
        self.socket.unlink(missing_ok=True)
        with open(self.folder / "processes.log", "a") as log:
            self._processes.append(runner.start(
                ["socat", f"UNIX-LISTEN:{self.socket},fork",
                 f"TCP:127.0.0.1:{self._forwarder.port}"],
                stdin=subprocess.DEVNULL, stdout=log,
                stderr=subprocess.STDOUT))
        if not wait_until(self.socket.exists, LINK_UP_LIMIT_S, pause_s=0.1):
            self.stop()
            raise BoardError("the proxy's relay did not start")

    def relay_into(self) -> None:
        """The relay on the link's side, for the link of this power-on."""
        if self._inside is not None:
            runner.stop(self._inside)
        with open(self.folder / "processes.log", "a") as log:
            self._inside = runner.start(self.link.argv(
                ["socat", f"TCP-LISTEN:{PROXY_PORT},bind={HOST_ADDRESS},"
                 "fork,reuseaddr", f"UNIX-CONNECT:{self.socket}"]),
                stdin=subprocess.DEVNULL, stdout=log,
                stderr=subprocess.STDOUT)

    def stop(self) -> None:
        for process in [self._inside, *reversed(self._processes)]:
            if process is not None:
                runner.stop(process)
        self._inside = None
        self._processes = []
        if self._forwarder:
            self._forwarder.close()
            self._forwarder = None
        if self._log:
            self._log.close()
            self._log = None
