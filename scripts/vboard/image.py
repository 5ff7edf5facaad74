# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The board's disks and its packages' repository: the cached base root file
system (mmdebstrap), this run's overlay of it, a small disk of what the
board's image would carry besides (the repository's key and source, a test
helper), and the signed apt repository that the link's side serves."""

from __future__ import annotations

import datetime
import glob
import hashlib
import inspect
import math
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path
from typing import IO, Any, Callable

from debpkg import releases

from . import runner
from .clock import Stopwatch, wait_until
from .common import (BOARD_ADDRESS, FILES, HOST_NAME, REPO_URL, BoardError,
                     Paths, Skipped, note)
from .limits import (BASE_BUILD_LIMIT_S, BINFMT_START_LIMIT_S,
                     HOST_APT_LIMIT_S, PACKAGE_LIMIT_S)
from .runner import output, run

# What the base image holds besides Debian's essential set and apt.
BASE_PACKAGES = ["systemd-sysv", "dbus", "avahi-daemon", "avahi-utils",
                 "openssh-server", "linux-image-armmp", "initramfs-tools",
                 "kmod", "udev", "iproute2", "procps", "netbase",
                 "unattended-upgrades"]
# In the board's repository for the crash checks, never installed by the
# image: the C library's call frames, for a trace that starts in it.
LIBC_SYMBOLS = "libc6-dbg"
BINFMT_CONF = Path("/usr/lib/binfmt.d/qemu-arm.conf")
EXIT_NO_BINFMT = 90  # files/binfmt-ns.sh: no private binfmt_misc.
MIB = 1 << 20

# ---- The mirror -------------------------------------------------------------


def _deb822_paragraphs(text: str) -> list[dict[str, str]]:
    paragraphs: list[dict[str, str]] = []
    fields: dict[str, str] = {}
    key = None
    for line in text.splitlines() + [""]:
        if line.startswith("#"):
            continue
        if not line.strip():
            if fields:
                paragraphs.append(fields)
            fields, key = {}, None
        elif line[0] in " \t" and key:
            fields[key] += " " + line.strip()
        elif ":" in line:
            key, _, value = line.partition(":")
            key = key.strip().lower()
            fields[key] = value.strip()
    return paragraphs


def _one_line_entries(text: str) -> list[tuple[str, str]]:
    """(URI, suite) of each `deb` line."""
    entries = []
    for line in text.splitlines():
        words = line.split("#", 1)[0].split()
        if len(words) < 3 or words[0] != "deb":
            continue
        words = words[1:]
        if words[0].startswith("["):  # Options, which may hold spaces.
            while words and not words[0].endswith("]"):
                words = words[1:]
            words = words[1:]
        if len(words) >= 2:
            entries.append((words[0], words[1]))
    return entries


def find_mirror(deb822: list[str], one_line: list[str], suite: str,
                security: bool = False) -> str | None:
    """The first Debian, not security, URI for the suite (with security:
    the security archive's for SUITE-security): in the deb822 .sources
    texts first, then in the one-line texts."""
    if security:
        suite += "-security"
    for text in deb822:
        for fields in _deb822_paragraphs(text):
            uris = fields.get("uris", "").split()
            if (uris and suite in fields.get("suites", "").split()
                    and "deb" in fields.get("types", "").split()
                    and fields.get("enabled", "yes").lower() != "no"
                    and ("security" in uris[0]) == security):
                return uris[0]
    for text in one_line:
        for uri, entry_suite in _one_line_entries(text):
            if entry_suite == suite and ("security" in uri) == security:
                return uri
    return None


def _read_all(pattern: str) -> list[str]:
    texts = []
    for name in sorted(glob.glob(pattern)):
        try:
            texts.append(Path(name).read_text(errors="replace"))
        except OSError:
            pass
    return texts


def own_codename(os_release: str) -> str | None:
    """VERSION_CODENAME of an os-release text."""
    match = re.search(r"^VERSION_CODENAME=\"?([a-z]+)\"?$", os_release,
                      re.MULTILINE)
    return match.group(1) if match else None


def machine_mirror(suite: str, security: bool = False) -> str | None:
    """The URI of this machine's apt sources for suite (for its -security
    suite with security), else for this machine's own release: a Debian
    mirror serves every release."""
    deb822 = _read_all("/etc/apt/sources.list.d/*.sources")
    one_line = (_read_all("/etc/apt/sources.list")
                + _read_all("/etc/apt/sources.list.d/*.list"))
    own = own_codename("".join(_read_all("/etc/os-release")))
    for name in dict.fromkeys([suite] + ([own] if own else [])):
        found = find_mirror(deb822, one_line, name, security)
        if found:
            return found
    return None


def mirror(suite: str = releases.DEFAULT_SUITE) -> str:
    """BOARD_MIRROR, else the Debian mirror of this machine's apt sources:
    none other is guessed."""
    if os.environ.get("BOARD_MIRROR"):
        return os.environ["BOARD_MIRROR"]
    found = machine_mirror(suite)
    if not found:
        raise Skipped("no Debian mirror in this machine's apt sources "
                      "(/etc/apt/sources.list and sources.list.d/); "
                      "name one with BOARD_MIRROR, e.g. "
                      "BOARD_MIRROR=http://mirror.example/debian")
    return found


def release_date(release: str) -> str | None:
    """The Date field of an InRelease file's text."""
    match = re.search(r"^Date: (.*)$", release, re.MULTILINE)
    return match.group(1).strip() if match else None


def mirror_date(uri: str, suite: str) -> str:
    """When the mirror last changed the suite, as this machine's apt lists
    know it: the key of the cached base changes with a point release. A
    suite this machine does not follow changes the key weekly instead."""
    host = uri.split("://", 1)[-1].split("/", 1)[0]
    lists = f"/var/lib/apt/lists/{glob.escape(host)}*_dists_{suite}"
    for name in sorted(glob.glob(f"{lists}_InRelease")):
        date = release_date(Path(name).read_text(errors="replace"))
        if date:
            return date
    year, week, _ = datetime.date.today().isocalendar()
    return f"week {year}-{week}"

# ---- The base image ---------------------------------------------------------


def _own_user_namespace(pid: int) -> bool:
    """Whether pid has left this process's user namespace (or is gone)."""
    try:
        return (os.readlink(f"/proc/{pid}/ns/user")
                != os.readlink("/proc/self/ns/user"))
    except OSError:
        return True


def _say_go(go: Path, child: subprocess.Popen) -> None:
    """Writes to the fifo go once child reads it. Opening it waits for its
    reader, which a dead child never is: hence no blocking open."""
    def open_go() -> int | None:
        try:
            return os.open(go, os.O_WRONLY | os.O_NONBLOCK)
        except OSError:
            return None

    fd = wait_until(open_go, BINFMT_START_LIMIT_S, pause_s=0.05,
                    done=lambda fd: fd is not None or child.poll() is not None)
    if fd is None:
        if child.poll() is None:
            raise BoardError("the foreign-architecture stage's namespace did "
                             f"not start within {BINFMT_START_LIMIT_S} s")
        return
    os.write(fd, b"go\n")
    os.close(fd)


def with_arm_binfmt(argv: list[str], log: IO[str]) -> int:
    """Runs argv with ARM binaries runnable through qemu-arm-static, in a
    user, mount and pid namespace with a private binfmt_misc (Linux 6.7 and
    later), so the machine's own binfmt table is left as it was. Identity
    mapped: files keep their real owners. Returns its exit status."""
    if not os.access(BINFMT_CONF, os.R_OK):
        raise BoardError(f"{BINFMT_CONF} is missing (qemu-user-static)")
    with tempfile.TemporaryDirectory(prefix="board-binfmt.") as folder:
        go = Path(folder) / "go"
        os.mkfifo(go, 0o600)
        child = runner.start(
            ["unshare", "--user", "--mount", "--pid", "--fork", "--kill-child",
             "--", "bash", str(FILES / "binfmt-ns.sh"), str(go),
             str(BINFMT_CONF), *argv],
            stdout=log, stderr=subprocess.STDOUT)
        try:
            wait_until(lambda: _own_user_namespace(child.pid),
                       BINFMT_START_LIMIT_S, pause_s=0.05)
            for name in ("uid_map", "gid_map"):
                Path(f"/proc/{child.pid}/{name}").write_text(
                    "0 0 4294967295\n")
            _say_go(go, child)
            status = runner.wait(child, BASE_BUILD_LIMIT_S)
        finally:
            runner.stop(child)  # Nothing to do unless cut short.
    if status is None:
        raise BoardError(f"the base image took over {BASE_BUILD_LIMIT_S} s")
    if status == EXIT_NO_BINFMT:
        raise Skipped("this kernel has no private binfmt_misc for the "
                      "foreign-architecture stage (needs Linux 6.7 or later)")
    return status


def _version_key(path: str) -> list[int | str]:
    """sort -V, near enough for kernel file names."""
    return [int(p) if p.isdigit() else p for p in re.split(r"(\d+)", path)]


def _mib(size: int) -> int:
    return math.ceil(size / MIB)


def _used_mib(folder: Path) -> int:
    return int(output(["du", "-sm", str(folder)]).split()[0])


UNREACHABLE = re.compile(r"Could not resolve|Failed to fetch|Temporary failure"
                         r"|Unable to connect|Could not connect")


def build_base(out: Path, uri: str, suite: str) -> None:
    """Builds the base into out (a new folder): rootfs.img, vmlinuz,
    initrd.img, the ssh key and known_hosts, and aptroot/ (the board's apt
    state, for resolving the packages' dependencies on this machine)."""
    out.mkdir(parents=True)
    run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "board-test",
         "-f", str(out / "id_ed25519")])
    root = out / "root"
    hook_args = shlex.join([HOST_NAME, BOARD_ADDRESS,
                            str(out / "id_ed25519.pub")])
    # mmdebstrap runs a hook with sh -c, the root as $1.
    argv = ["mmdebstrap", "--arch=armhf", "--variant=apt", "--mode=root",
            "--format=directory", "--skip=check/qemu",
            "--skip=cleanup/apt/lists", '--aptopt=Acquire::Languages "none"',
            "--include=" + ",".join(BASE_PACKAGES),
            "--essential-hook=sh "
            + shlex.quote(str(FILES / "essential-hook.sh")) + ' "$1"',
            "--customize-hook=sh "
            + shlex.quote(str(FILES / "customize-hook.sh")) + ' "$1" '
            + hook_args,
            suite, str(root), f"deb {uri} {suite} main"]
    log_path = out / "mmdebstrap.log"
    with open(log_path, "w") as log:
        status = with_arm_binfmt(argv, log)
    if status:
        log_text = log_path.read_text(errors="replace")
        sys.stderr.write("".join(log_text.splitlines(True)[-20:]))
        if UNREACHABLE.search(log_text):
            raise Skipped(f"the Debian mirror {uri} cannot be reached; "
                          "no board image")
        raise BoardError(f"mmdebstrap failed (status {status}); "
                         f"log: {log_path}")
    (root / "etc/machine-id").write_text(os.urandom(16).hex() + "\n")

    kernels = sorted(glob.glob(f"{root}/boot/vmlinuz-*-armmp"),
                     key=_version_key)
    initrds = sorted(glob.glob(f"{root}/boot/initrd.img-*-armmp"),
                     key=_version_key)
    if not kernels or not initrds:
        raise BoardError("no armmp kernel or initrd in the image")
    shutil.copy(kernels[-1], out / "vmlinuz")
    shutil.copy(initrds[-1], out / "initrd.img")
    host_key = (root / "etc/ssh/ssh_host_ed25519_key.pub").read_text().split()
    (out / "known_hosts").write_text(
        f"{BOARD_ADDRESS} {host_key[0]} {host_key[1]}\n")

    aptroot = out / "aptroot"
    (aptroot / "var/lib/dpkg").mkdir(parents=True)
    shutil.copy(root / "var/lib/dpkg/status", aptroot / "var/lib/dpkg/")
    shutil.copytree(root / "var/lib/apt/lists", aptroot / "var/lib/apt/lists",
                    symlinks=True)
    shutil.copytree(root / "etc/apt", aptroot / "etc/apt", symlinks=True)
    releases = sorted(glob.glob(f"{root}/var/lib/apt/lists/*_InRelease"))
    date = release_date(Path(releases[0]).read_text()) if releases else None
    (out / "mirror-date").write_text(f"{date or ''}\n")

    # Room for the packages, the journal and apt's lists; the file is sparse.
    run(["mkfs.ext4", "-q", "-L", "board-root", "-d", str(root),
         str(out / "rootfs.img"), f"{_used_mib(root) + 1024}M"],
        stdout=subprocess.DEVNULL)
    shutil.rmtree(root)


def base_suite(name: str) -> str | None:
    """The release of a cached base by its folder's name; None for one
    named before the board had releases (base-KEY, Debian 12's)."""
    suite = name.split("-")[1] if name.count("-") == 2 else None
    return suite if suite in releases.RELEASES else None


def cache_key(uri: str, suite: str) -> str:
    """Changes with the suite, the mirror and its state, the package list
    and the recipe."""
    recipe = [f"{suite} {uri} {mirror_date(uri, suite)}",
              " ".join(BASE_PACKAGES)]
    recipe_code: list[Callable[..., Any]] = [with_arm_binfmt, build_base]
    recipe += [inspect.getsource(f) for f in recipe_code]
    recipe += [(FILES / name).read_text() for name in
               ("binfmt-ns.sh", "essential-hook.sh", "customize-hook.sh")]
    return hashlib.sha256("\n".join(recipe).encode()).hexdigest()[:16]


def base_image(paths: Paths) -> Path:
    """The cached base for this recipe, this mirror and its state; built
    when missing."""
    uri = mirror(paths.suite)
    key = cache_key(uri, paths.suite)
    base = paths.board_dir / f"base-{paths.suite}-{key}"
    if (base / "complete").exists():
        note(f"base image: cached ({base})")
        return base
    note(f"base image: building {base} from {uri} ({paths.suite}, armhf); "
         "takes minutes")
    clock = Stopwatch()
    shutil.rmtree(base, ignore_errors=True)
    build_base(base, uri, paths.suite)
    (base / "build-seconds").write_text(f"{clock}\n")
    (base / "complete").touch()
    image = (base / "rootfs.img").stat()
    note(f"base image: built in {clock} s ({_mib(image.st_size)} MiB file "
         f"system, {_mib(image.st_blocks * 512)} MiB used)")
    # Older bases of this release are of no more use; another release's
    # stay.
    for old in paths.board_dir.glob("base-*"):
        if old != base and base_suite(old.name) in (paths.suite, None):
            shutil.rmtree(old, ignore_errors=True)
    return base

# ---- This run's disks -------------------------------------------------------


def parse_simulated_installs(text: str) -> list[tuple[str, str]]:
    """(name, version) of each `Inst` line of `apt-get install -s`."""
    return re.findall(r"^Inst (\S+) \((\S+) ", text, re.MULTILINE)


def board_apt(paths: Paths, aptroot: Path, args: list[str],
              **kwargs: Any) -> subprocess.CompletedProcess[str]:
    """apt of this machine working on the board's apt state (armhf); the
    downloads stay in BOARD_DIR/debs."""
    debs = paths.board_dir / "debs"
    (debs / "partial").mkdir(parents=True, exist_ok=True)
    return run(["apt-get", "-q", "-o", f"Dir={aptroot}",
                "-o", f"Dir::State::status={aptroot}/var/lib/dpkg/status",
                "-o", f"Dir::Cache::archives={debs}",
                "-o", "APT::Architecture=armhf",
                "-o", "APT::Architectures::=armhf",
                "-o", "Debug::NoLocking=1", "-o", "APT::Sandbox::User=root",
                *args], check=False, timeout=HOST_APT_LIMIT_S, **kwargs)


def first_choices(relations: str) -> list[list[str]]:
    """The alternatives of each relation of a Depends-style field, by name:
    no versions, no architectures."""
    return [[re.split(r"[\s(:\[]", alternative.strip(), maxsplit=1)[0]
             for alternative in relation.split("|")]
            for relation in relations.split(",") if relation.strip()]


def recommended_here(paths: Paths, aptroot: Path, debs: list[Path]
                     ) -> list[str]:
    """Of each relation the packages recommend that the base does not
    meet, the first alternative the board's release has (libdw1t64 on
    Debian 13, libdw1 on 12)."""
    chosen: list[str] = []
    for deb in debs:
        for alternatives in first_choices(deb_field(deb, "Recommends")):
            for name in alternatives:
                simulated = board_apt(
                    paths, aptroot, ["install", "-s",
                                     "--no-install-recommends", name],
                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
                if simulated.returncode:
                    continue
                installs = dict(parse_simulated_installs(simulated.stdout))
                if name in installs and name not in chosen:
                    chosen.append(name)
                break
    return chosen


def fetch_dependencies(paths: Paths, base: Path, names: set[str], out: Path,
                       debs: list[Path], extra: tuple[str, ...] = ()
                       ) -> list[str]:
    """Copies into out the packages from Debian that the board needs for
    debs and the packages extra, and does not have: the board's own apt
    resolves the same set again from the local repository. Returns their
    names."""
    aptroot = base / "aptroot"
    log_path = paths.run / "apt-download.log"
    download = ["install", "-y", "--download-only", "--no-install-recommends",
                *map(str, debs), *extra]
    with open(log_path, "w") as log:
        downloaded = board_apt(paths, aptroot, download, stdout=log,
                               stderr=subprocess.STDOUT).returncode == 0
        if not downloaded:
            # Lists older than the mirror name files it no longer has.
            note("dependencies: refreshing the board's package lists")
            if board_apt(paths, aptroot, ["update"], stdout=log,
                         stderr=subprocess.STDOUT).returncode:
                raise Skipped("the Debian mirror cannot be reached for the "
                              f"packages' dependencies (see {log_path})")
            if board_apt(paths, aptroot, download, stdout=log,
                         stderr=subprocess.STDOUT).returncode:
                log.flush()
                tail = log_path.read_text().splitlines()[-5:]
                raise BoardError("the packages' dependencies do not resolve "
                                 "on armhf: " + "\n".join(tail))
    simulated = board_apt(paths, aptroot, ["install", "-s",
                                           "--no-install-recommends",
                                           *map(str, debs), *extra],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    fetched = []
    for name, version in parse_simulated_installs(simulated.stdout):
        if name in names:
            continue
        pattern = f"{name}_{version.replace(':', '%3a')}_*.deb"
        files = sorted((paths.board_dir / "debs").glob(pattern))
        if not files:
            raise BoardError(f"dependency {name} {version} was not downloaded")
        shutil.copy(files[0], out)
        fetched.append(name)
    return fetched


def deb_field(deb: Path, field: str) -> str:
    return output(["dpkg-deb", "-f", str(deb), field])


def package_files(paths: Paths, suite: str | None = None) -> list[Path]:
    """The armhf packages that scripts/package made for the board's
    release (or suite), made when there are none; their -dbgsym packages
    stay off the board."""
    suite = suite or paths.suite
    folder = paths.packages(suite)
    debs = sorted(folder.glob("*.deb"))
    if not debs:
        note(f"no packages in {folder}; making them "
             f"(scripts/package --suite {suite} --arch armhf)")
        run([str(paths.root / "scripts/package"), "--suite", suite,
             "--arch", "armhf"],
            stdout=subprocess.DEVNULL, timeout=PACKAGE_LIMIT_S)
        debs = sorted(folder.glob("*.deb"))
    if not debs:
        raise BoardError(f"scripts/package made no packages in {folder}")
    debs = [deb for deb in debs if "-dbgsym_" not in deb.name]
    for deb in debs:
        if deb_field(deb, "Architecture") != "armhf":
            raise BoardError(f"{deb} is not an armhf package")
    return debs


# ---- The signed repository --------------------------------------------------

KEYRING = "vantor-archive-keyring.gpg"


def _gnupg(paths: Paths) -> dict[str, str]:
    return dict(os.environ, GNUPGHOME=str(paths.run / "gnupg"))


def signing_key(paths: Paths) -> str:
    """This run's repository key (made on first use): its fingerprint."""
    env = _gnupg(paths)
    home = Path(env["GNUPGHOME"])
    if not home.exists():
        home.mkdir(mode=0o700, parents=True)
        run(["gpg", "--batch", "--quiet", "--passphrase", "",
             "--quick-gen-key",
             "Vantor board test repository <board@localhost>", "ed25519",
             "sign", "never"], env=env, capture=True)
    listing = output(["gpg", "--batch", "--with-colons",
                      "--list-secret-keys"], env=env)
    return next(line.split(":")[9] for line in listing.splitlines()
                if line.startswith("fpr:"))


def publish(paths: Paths, folders: list[tuple[str, Path]]) -> None:
    """Adds the packages of each (SUITE, FOLDER) pair's FOLDER/<arch>/ to
    that suite of the board's repository (run/apt) and signs it anew with
    this run's key, as a device maker publishes a release."""
    key = signing_key(paths)
    argv = [str(paths.root / "scripts/apt-repo"), "--key", key, "--url",
            REPO_URL]
    for suite, folder in folders:
        argv += ["--from", f"{suite}={folder}"]
    try:
        run(argv + [str(paths.run / "apt")], env=_gnupg(paths), capture=True)
    finally:
        run(["gpgconf", "--kill", "gpg-agent"], env=_gnupg(paths),
            check=False, capture=True)


def run_image(paths: Paths, base: Path, also: tuple[str, ...] = ()) -> None:
    """This run's disks in paths.run: an overlay of the base and the small
    disk (the repository's keyring and its release's source, the test
    helper timed_renames); and the signed repository of the packages and
    what they need from Debian, which the board has no other way to reach.
    The packages of the releases also join their suites, without what they
    need from Debian."""
    helper = paths.build / "testing/timed_renames"
    if not os.access(helper, os.X_OK):
        raise BoardError(f"{helper} is not built (scripts/build-armhf)")
    debs = package_files(paths)
    # The SDK has no place on a board.
    wanted = [(deb, deb_field(deb, "Package")) for deb in debs]
    wanted = [(deb, name) for deb, name in wanted if not name.endswith("-dev")]
    names = [name for _, name in wanted]
    shutil.rmtree(paths.run, ignore_errors=True)
    pool = paths.run / "debs" / paths.suite / "armhf"
    pool.mkdir(parents=True)
    for deb in debs:
        shutil.copy(deb, pool)
    # What the packages recommend (systemd-coredump and libdw, for the
    # journal's crash traces) joins the repository, not the installation:
    # a device's image leaves recommends out, and the crash checks add them.
    recommended = recommended_here(paths, base / "aptroot",
                                   [deb for deb, _ in wanted])
    # So does libc6-dbg, which the crash checks measure.
    deps = fetch_dependencies(paths, base, set(names), pool,
                              [deb for deb, _ in wanted],
                              (*recommended, LIBC_SYMBOLS))
    note(f"packages: {' '.join(names)}; from Debian besides the base: "
         f"{' '.join(deps) or 'none'}")
    (paths.run / "install").write_text(" ".join(names) + "\n")
    (paths.run / "recommended").write_text(" ".join(recommended) + "\n")
    # Their debug symbols go to the repository's debug component, which
    # the board's source does not name: installed only by the crash checks.
    symbols = sorted(paths.packages().glob("*-dbgsym_*.deb"))
    for deb in symbols:
        shutil.copy(deb, pool)
    (paths.run / "symbols").write_text(
        " ".join(deb_field(deb, "Package") for deb in symbols) + "\n")
    suites = [(paths.suite, pool.parent)]
    for suite in also:
        other = paths.run / "debs" / suite / "armhf"
        other.mkdir(parents=True)
        for deb in package_files(paths, suite):
            shutil.copy(deb, other)
        suites.append((suite, other.parent))
    publish(paths, suites)
    repo = paths.run / "repo"
    (repo / "tools").mkdir(parents=True)
    shutil.copy(helper, repo / "tools")
    for name in (KEYRING, f"vantor-{paths.suite}.sources"):
        shutil.copy(paths.run / "apt" / name, repo)
    run(["mkfs.ext4", "-q", "-L", "vantor-repo", "-d", str(repo),
         str(paths.run / "repo.img"), f"{_used_mib(repo) + 16}M"],
        stdout=subprocess.DEVNULL)
    run(["qemu-img", "create", "-q", "-f", "qcow2", "-F", "raw", "-b",
         str(base / "rootfs.img"), str(paths.run / "board.qcow2")])
    (paths.run / "base").write_text(f"{base}\n")


def installed_names(paths: Paths) -> list[str]:
    """The packages this run installs on the board."""
    return (paths.run / "install").read_text().split()


def recommended_names(paths: Paths) -> list[str]:
    """What this run's packages recommend, in its repository."""
    return (paths.run / "recommended").read_text().split()


def symbol_names(paths: Paths) -> list[str]:
    """The -dbgsym packages in this run's repository's debug component."""
    return (paths.run / "symbols").read_text().split()
