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

from . import builds, dists, keys, layout, pool, releases, sources, validity
from .common import EXIT_USAGE, Failure, Usage, pause, run, shielded
from .files import remove_temporaries, write_atomic
from .workarea import Workarea

USAGE = """\
Usage: scripts/apt-repo [--key FINGERPRINT] [--url URL] [--valid-days N]
                        [--from [SUITE=]FOLDER]... [--keyring-path PATH] DIR

Makes DIR a signed apt repository of the project's packages, for devices
that take new versions with apt: one suite per Debian release, named by
its codename (bookworm, trixie), each of the packages built for it.
--from SUITE=FOLDER adds those of FOLDER/<arch>/*.deb to SUITE; --from
FOLDER those of FOLDER/<suite>/<arch>/*.deb to each suite, as
scripts/package leaves them, or, for a FOLDER of the layout before
releases (FOLDER/<arch>/ only), to this machine's release (its
/etc/os-release). FOLDER defaults to build-deb, if it holds any; give
--from again for more; with no packages at all, DIR is signed again as it
is. They join DIR/pool/SUITE/main/, where packages of earlier runs stay,
so devices can go back; their debug symbols (NAME-dbgsym) join
DIR/pool/SUITE/debug/, the component debug, which the sources that DIR
carries for devices do not name. A suite's pool only grows: a different
file under a name it has is refused (give a rebuilt package a new
version); the same file again is nothing to do. A version that names
another release (~deb13u1 in bookworm) is refused. The indexes
(dists/SUITE/) of every suite in DIR are made anew over its pool with
apt-ftparchive, signed with gpg (InRelease, Release.gpg) and swapped in at
once: dists links to the live set. A suite is never dropped; the one suite
of a DIR made before releases, stable, keeps its packages and is signed
again as it is.

--key signs with that key of the caller's keyring (GNUPGHOME); without it a
throwaway key is made for this run and its secret part is gone at the end
(or, after a kill, at the next run on DIR), so a repository that devices
are to keep following needs --key. Release carries Valid-Until, N days on
(default 30; at most what keeps it before 2038-01-19, the end of a 32-bit
time_t): a device refuses the indexes after that, unless they are signed
again (run this again). DIR also gets the public key as a binary keyring,
vantor-archive-keyring.gpg, and for each suite vantor-SUITE.sources, a
deb822 source naming it with Signed-By: PATH (default
/etc/apt/keyrings/vantor-archive-keyring.gpg with --url, DIR's own keyring
without), URIs: URL (default file:DIR, percent-encoded); vantor.sources is
trixie's. A path that apt cannot read there (Signed-By: whitespace,
commas, control characters; file: URIs: control characters) is refused
before anything is written. One run at a time changes DIR; another is
refused.
Exit status: 0 done, 1 a failure, 2 usage."""

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
    from_folders: list[builds.From] = dataclasses.field(default_factory=list)
    keyring_path: str = ""


def parse(argv: list[str], now: datetime.datetime) -> Options:
    values: dict[str, str] = {}
    from_folders: list[builds.From] = []
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
                from_folders.append(builds.parse(value))
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


def recover(work: Workarea) -> None:
    """What a killed run left: its throwaway key and agent, half-written
    files, a set of indexes that never went live."""
    keys.remove_stale_home(work)
    remove_temporaries(work.repo)
    for folder in layout.pool_folders(work.repo):
        remove_temporaries(folder)
    dists.remove_stale(work.repo)


def source_values(options: Options, repo: Path) -> tuple[str, str]:
    """The sources' URIs and Signed-By, once apt is seen to read them."""
    url = options.url or sources.file_uri(repo)
    sources.check_uri(url)
    keyring_path = options.keyring_path
    if keyring_path:
        sources.check_signed_by(keyring_path, "--keyring-path")
        return url, keyring_path
    local = url.startswith("file:")
    keyring_path = str(repo / KEYRING if local else DEVICE_KEYRINGS / KEYRING)
    sources.check_signed_by(keyring_path, "DIR's keyring"
                            if local else "the keyring")
    return url, keyring_path


Listed = dict[tuple[str, str], list[pool.Control]]


New = dict[tuple[str, str], list[Path]]


def contents(repo: Path, suites: list[layout.Suite], new: New) -> Listed:
    """What each suite's component will list. A package planted in a pool
    by hand is refused as a new one is: the run would sign it."""
    listed: Listed = {}
    for suite in suites:
        for component in suite.components:
            debs = pool.published(repo / suite.pool(component))
            debs += new.get((suite.name, component), [])
            controls = [pool.control(deb) for deb in debs]
            for found in controls:
                problem = releases.built_for_problem(suite.name,
                                                     found.version)
                if problem:
                    raise Failure(f"{found.path}: {found.version} is "
                                  f"{problem}; give each release's packages "
                                  "to its own suite")
            listed[suite.name, component] = controls
    return listed


def write_sources(repo: Path, suites: list[layout.Suite], url: str,
                  keyring_path: str) -> None:
    # The legacy suite's devices have their source already.
    for suite in suites:
        if suite.legacy:
            continue
        # Devices follow main alone (layout.DEBUG says why).
        text = sources.render(url, [suite.name], [layout.MAIN],
                              keyring_path).encode()
        write_atomic(repo / f"vantor-{suite.name}.sources", text)
        if suite.name == layout.DEFAULT:
            write_atomic(repo / "vantor.sources", text)


def report(repo: Path, suites: list[layout.Suite], listed: Listed,
           until: dict[str, str], key: str) -> None:
    for suite in suites:
        found = listed[suite.name, layout.MAIN]
        count = f"{len(found)} package{'' if len(found) == 1 else 's'}"
        debug = len(listed.get((suite.name, layout.DEBUG), []))
        if debug:
            count += f" and {debug} of debug symbols"
        print(f"apt-repo: {repo}: {suite.name}: {count} "
              f"({' '.join(pool.architectures(found))}), valid until "
              f"{until[suite.name]}, signed by {key}")
        if suite.legacy:
            print(f"apt-repo: {repo}: {suite.name}, of the layout before "
                  "releases, is signed again as it is; its devices get new "
                  "versions once they follow vantor-SUITE.sources")


def publish(options: Options, now: datetime.datetime) -> None:
    # Nothing is written until every refusal that needs no lock is past.
    repo = Path(os.path.realpath(options.folder))
    url, keyring_path = source_values(options, repo)
    # Re-signing (a new Valid-Until, another URL) needs no build.
    froms = options.from_folders or [builds.From(ROOT / "build-deb")]
    ensure_packages()
    incoming = builds.gather(froms, required=bool(options.from_folders))
    signer = keys.callers_key(options.key) if options.key else None
    if not incoming and not layout.in_repo(repo):
        raise Failure(f"no packages in {repo}/pool/ nor in "
                      f"{' '.join(str(f.folder) for f in froms)}")

    repo.mkdir(parents=True, exist_ok=True)
    with Workarea(repo) as work:
        recover(work)
        pause("locked")
        there = layout.in_repo(repo)
        suites = sorted(there + [layout.Suite(name) for name in incoming
                                 if name not in {s.name for s in there}],
                        key=lambda suite: suite.name)
        new: New = {}
        for suite in suites:
            for component in suite.components:
                new[suite.name, component] = pool.plan(
                    [deb for deb in incoming.get(suite.name, [])
                     if layout.component_of(deb) == component],
                    repo / suite.pool(component))
        listed = contents(repo, suites, new)
        archs = {where: pool.architectures(found)
                 for where, found in listed.items()}
        key: ContextManager[keys.Signer] = (
            contextlib.nullcontext(signer) if signer
            else keys.throwaway_key(work))
        with key as signing:
            pause("keyed")
            for suite in suites:
                for component in suite.components:
                    pool.add(new[suite.name, component],
                             repo / suite.pool(component))
            pause("pooled")
            live = dists.build(repo, suites, archs, options.valid_days,
                               signing)
            try:
                until = {suite.name: validity.valid_until(
                    (live / suite.name / "Release").read_text(), now)
                    for suite in suites}
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
            write_sources(repo, suites, url, keyring_path)
        report(repo, suites, listed, until, signing.key)


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
