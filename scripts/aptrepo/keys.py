# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The signing key: the caller's, or a throwaway one whose secret part and
gpg-agent end with the run, or with the next run when this one was killed.

A throwaway GNUPGHOME lives in TMPDIR, not in DIR, which may be served as it
is; the work area notes where."""

from __future__ import annotations

import contextlib
import os
import shutil
import subprocess
import tempfile
from pathlib import Path
from typing import Iterator

from .common import Failure, run, shielded
from .files import write_atomic
from .workarea import Workarea

GPG_LIMIT_S = 120
THROWAWAY_USER = "Vantor throwaway repository key <apt-repo@localhost>"
HOME_PREFIX = "apt-repo-gnupg."


class Signer:
    def __init__(self, key: str, env: dict[str, str]) -> None:
        self.key = key
        self.env = env

    def _gpg(self, *args: str) -> bytes:
        return run(["gpg", "--batch", "--quiet", *args], env=self.env,
                   stdout=subprocess.PIPE, timeout=GPG_LIMIT_S).stdout

    def sign(self, release: Path) -> None:
        """InRelease and Release.gpg beside release."""
        self._gpg("--yes", "--local-user", self.key, "--clearsign",
                  "-o", str(release.with_name("InRelease")), str(release))
        self._gpg("--yes", "--local-user", self.key, "--armor",
                  "--detach-sign", "-o", str(release.with_name("Release.gpg")),
                  str(release))

    def export(self) -> bytes:
        """The public key as a binary keyring."""
        exported = self._gpg("--export", self.key)
        if not exported:
            raise Failure(f"gpg exported no public key for {self.key}")
        return exported


def callers_key(key: str) -> Signer:
    env = dict(os.environ)
    listed = subprocess.run(["gpg", "--batch", "--list-secret-keys", key],
                            env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, timeout=GPG_LIMIT_S)
    if listed.returncode:
        raise Failure(f"no secret key {key} in "
                      f"{os.environ.get('GNUPGHOME', '~/.gnupg')}")
    return Signer(key, env)


def remove_home(home: Path) -> None:
    """Ends the folder's gpg-agent, then removes the folder."""
    if home.is_symlink() or not home.is_dir():
        return
    with contextlib.suppress(subprocess.TimeoutExpired):
        subprocess.run(["gpgconf", "--homedir", str(home), "--kill",
                        "gpg-agent"],
                       env=dict(os.environ, GNUPGHOME=str(home)),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=30)
    shutil.rmtree(home, ignore_errors=True)


def remove_stale_home(work: Workarea) -> None:
    """What a killed run's throwaway key left: its agent and its folder, if
    the note names one of ours."""
    home = work.noted_home()
    if home is None:
        return
    if (home.name.startswith(HOME_PREFIX) and home.is_dir()
            and home.stat().st_uid == os.geteuid()):
        remove_home(home)
    work.forget_home()


@contextlib.contextmanager
def throwaway_key(work: Workarea) -> Iterator[Signer]:
    home = Path(tempfile.mkdtemp(prefix=HOME_PREFIX))
    try:
        # Noted before the key exists, so a kill at any later point leaves
        # the next run a way to it.
        work.note_home(home)
        signer = Signer("", dict(os.environ, GNUPGHOME=str(home)))
        run(["gpg", "--batch", "--quiet", "--passphrase", "",
             "--quick-gen-key", THROWAWAY_USER, "ed25519", "sign", "never"],
            env=signer.env, timeout=GPG_LIMIT_S)
        listing = run(["gpg", "--batch", "--with-colons",
                       "--list-secret-keys"], env=signer.env,
                      stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                      timeout=GPG_LIMIT_S).stdout
        signer.key = next(line.split(b":")[9].decode()
                          for line in listing.splitlines()
                          if line.startswith(b"fpr:"))
        print(f"apt-repo: signing with a throwaway key, {signer.key}",
              flush=True)
        yield signer
    finally:
        with shielded():
            remove_home(home)
            work.forget_home()


def add_to_keyring(path: Path, exported: bytes) -> None:
    """Appends the key to the keyring unless it is there: both keys verify
    while the indexes signed by the new one replace the old ones."""
    try:
        current = path.read_bytes()
    except FileNotFoundError:
        current = b""
    if exported not in current:
        write_atomic(path, current + exported)


def keep_only(path: Path, exported: bytes) -> None:
    try:
        if path.read_bytes() == exported:
            return
    except FileNotFoundError:
        pass
    write_atomic(path, exported)
