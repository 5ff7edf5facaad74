# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""scripts/apt-repo's command line and the order of its steps."""

from __future__ import annotations

import contextlib
import dataclasses
import datetime
import os
import signal
import subprocess
import sys
from pathlib import Path
from types import FrameType
from typing import Callable, ContextManager

from . import dists, keys, pool, sources, validity
from .common import EXIT_USAGE, Failure, Usage, pause, run, shielded
from .files import remove_temporaries, write_atomic
from .workarea import Workarea

USAGE = """\
Usage: scripts/apt-repo [--key FINGERPRINT] [--url URL] [--valid-days N]
                        [--from FOLDER]... [--keyring-path PATH] DIR

Makes DIR a signed apt repository of the project's packages, for devices
that take new versions with apt: those of FOLDER/<arch>/*.deb for every
architecture there (FOLDER defaults to build-deb, if it holds any; give
--from again for more; with no packages at all, DIR's pool is signed again
as it is). They join DIR/pool/main/, where packages of earlier runs stay,
so devices can go back. The pool only grows: a different file under a name
it has is refused (give a rebuilt package a new version); the same file
again is nothing to do. The indexes (dists/stable/) are made anew over the
whole pool with apt-ftparchive, signed with gpg (InRelease, Release.gpg)
and swapped in at once: dists links to the live set.

--key signs with that key of the caller's keyring (GNUPGHOME); without it a
throwaway key is made for this run and its secret part is gone at the end
(or, after a kill, at the next run on DIR), so a repository that devices
are to keep following needs --key. Release carries Valid-Until, N days on
(default 30; at most what keeps it before 2038-01-19, the end of a 32-bit
time_t): a device refuses the indexes after that, unless they are signed
again (run this again). DIR also gets the public key as a binary keyring,
vantor-archive-keyring.gpg, and vantor.sources, a deb822 source naming it
with Signed-By: PATH (default /etc/apt/keyrings/vantor-archive-keyring.gpg
with --url, DIR's own keyring without), URIs: URL (default file:DIR,
percent-encoded). A path that apt cannot read there (Signed-By: whitespace,
commas, control characters; file: URIs: control characters) is refused
before anything is written. One run at a time changes DIR; another is
refused.
Exit status: 0 done, 1 a failure, 2 usage."""

SUITES = [dists.Suite("stable", ("main",))]
KEYRING = "vantor-archive-keyring.gpg"
DEVICE_KEYRINGS = Path("/etc/apt/keyrings")
ROOT = Path(__file__).resolve().parents[2]
# ensure_packages may update apt's lists and install (with retries).
INSTALL_LIMIT_S = 1800


@dataclasses.dataclass
class Options:
    folder: Path
    key: str = ""
    url: str = ""
    valid_days: int = 30
    from_folders: list[Path] = dataclasses.field(default_factory=list)
    keyring_path: str = ""


def parse(argv: list[str], now: datetime.datetime) -> Options:
    values: dict[str, str] = {}
    from_folders: list[Path] = []
    folder = None
    args = list(argv)
    while args:
        arg = args.pop(0)
        if arg in ("--key", "--url", "--valid-days", "--from",
                   "--keyring-path"):
            if not args or not args[0]:
                raise Usage()
            value = args.pop(0)
            if arg == "--from":
                from_folders.append(Path(value))
            else:
                values[arg] = value
        elif arg.startswith("-") or folder is not None:
            raise Usage()
        else:
            folder = arg
    if folder is None:
        raise Usage()
    options = Options(folder=Path(folder), from_folders=from_folders,
                      key=values.get("--key", ""), url=values.get("--url", ""),
                      keyring_path=values.get("--keyring-path", ""))
    if "--valid-days" in values:
        options.valid_days = validity.parse_days(values["--valid-days"], now)
    return options


def ensure_packages() -> None:
    """lib.sh's REPO_PACKAGES, installed when missing."""
    run(["bash", "-c", 'source "$1" && ensure_packages "${REPO_PACKAGES[@]}"',
         "apt-repo", str(ROOT / "scripts/lib.sh")], timeout=INSTALL_LIMIT_S)


def recover(work: Workarea, pools: list[Path]) -> None:
    """What a killed run left: its throwaway key and agent, half-written
    files, a set of indexes that never went live."""
    keys.remove_stale_home(work)
    remove_temporaries(work.repo)
    for folder in pools:
        if folder.is_dir():
            remove_temporaries(folder)
    dists.remove_stale(work.repo)


def publish(options: Options, now: datetime.datetime) -> None:
    # Nothing is written until every refusal that needs no lock is past.
    repo = Path(os.path.realpath(options.folder))
    url = options.url or sources.file_uri(repo)
    sources.check_uri(url)
    keyring_path = options.keyring_path
    if keyring_path:
        sources.check_signed_by(keyring_path, "--keyring-path")
    else:
        local = url.startswith("file:")
        keyring_path = str(repo / KEYRING if local
                           else DEVICE_KEYRINGS / KEYRING)
        sources.check_signed_by(keyring_path, "DIR's keyring"
                                if local else "the keyring")
    # Re-signing (a new Valid-Until, another URL) needs no build.
    folders = options.from_folders or [ROOT / "build-deb"]
    ensure_packages()
    debs = []
    for folder in folders:
        found = pool.debs_in(folder)
        if not found and options.from_folders:
            raise Failure(f"no packages in {folder}/<arch>/")
        debs += found
    signer = keys.callers_key(options.key) if options.key else None
    components = sorted({c for suite in SUITES for c in suite.components})
    folder_of = {c: repo / "pool" / c for c in components}
    # One pool for now; each component will have its own packages.
    packages = folder_of[SUITES[0].components[0]]

    def nothing_to_sign() -> Failure:
        return Failure(f"no packages in {repo}/pool/ nor in "
                       f"{' '.join(map(str, folders))}/<arch>/")
    if not debs and not pool.published(packages):
        raise nothing_to_sign()

    repo.mkdir(parents=True, exist_ok=True)
    with Workarea(repo) as work:
        recover(work, list(folder_of.values()))
        pause("locked")
        new = pool.plan(debs, packages)
        if not new and not pool.published(packages):
            raise nothing_to_sign()
        key: ContextManager[keys.Signer] = (
            contextlib.nullcontext(signer) if signer
            else keys.throwaway_key(work))
        with key as signing:
            pause("keyed")
            pool.add(new, packages)
            pause("pooled")
            archs = {c: pool.architectures(folder_of[c]) for c in components}
            live = dists.build(repo, SUITES, archs, options.valid_days,
                               signing)
            try:
                until = [validity.valid_until(
                    (live / suite.name / "Release").read_text(), now)
                    for suite in SUITES]
                exported = signing.export()
                # The key is in DIR's keyring before the indexes it signed
                # go live, and the old one leaves only after.
                keys.add_to_keyring(repo / KEYRING, exported)
                pause("staged")
                dists.swap(repo, live)
            except BaseException:
                with shielded():
                    dists.discard(repo, live)
                raise
            pause("swapped")
            keys.keep_only(repo / KEYRING, exported)
            write_atomic(repo / "vantor.sources", sources.render(
                url, [s.name for s in SUITES], components,
                keyring_path).encode())
        every_arch = sorted(set().union(*archs.values()))
        print(f"apt-repo: {repo}: {len(pool.published(packages))} packages "
              f"({' '.join(every_arch)}), valid until {until[0]}, "
              f"signed by {signing.key}")


def _exit_with(status: int) -> Callable[[int, FrameType | None], None]:
    def handler(number: int, frame: FrameType | None) -> None:
        raise SystemExit(status)
    return handler


def main(argv: list[str]) -> int:
    # The clean-up of a throwaway key runs on these as on an ordinary end.
    signal.signal(signal.SIGTERM, _exit_with(128 + signal.SIGTERM))
    signal.signal(signal.SIGHUP, _exit_with(128 + signal.SIGHUP))
    now = datetime.datetime.now(datetime.timezone.utc)
    try:
        publish(parse(argv, now), now)
        return 0
    except Usage as e:
        print(f"apt-repo: {e}" if str(e) else USAGE, file=sys.stderr)
        return EXIT_USAGE
    except Failure as e:
        print(f"apt-repo: {e}", file=sys.stderr)
        return 1
    except (OSError, subprocess.SubprocessError) as e:
        print(f"apt-repo: {e}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        return 128 + signal.SIGINT


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
