"""Whether several CDN hosts hold the same release, before the launcher
server's answer names them all (tqpack.py check-mirrors).

A launcher takes the list, its statement and its content index from whichever
host answers, and byte ranges of the packages from any host; it checks every
file it installs, so a host that holds another release only costs time and
falls out of use. This check finds that before the players do: the list, the
statements and the index must be the same bytes on every host (or missing on
every host), and every package the list names must have the same size
everywhere, large enough for the list's entries.

A host is named by its list: a file (CDN_DIR/conf/list.txt, or the CDN folder,
meaning its conf/list.txt) or the list's http(s) URL as the answer names it.
The packages lie two folders above the list, as the launcher finds them.
"""

import hashlib
import os
import urllib.error
import urllib.parse
import urllib.request

from tqpack import PACKAGE_NAME
# The files beside the list, each compared byte for byte (or missing everywhere).
BESIDE_THE_LIST = (("the list's statement", ".sig"), ("the content index", ".index"),
                   ("the content index's statement", ".index.sig"))
TIMEOUT_SECONDS = 30


class MirrorError(Exception):
    """A host that cannot be read at all."""


class Release:
    """What one host holds: the list's bytes, the files beside it (None when
    missing) and each package's size (None when missing)."""

    def __init__(self, where, list_bytes, beside, package_sizes):
        self.where = where
        self.list_bytes = list_bytes
        self.beside = beside
        self.package_sizes = package_sizes


def _is_url(location):
    return urllib.parse.urlsplit(location).scheme in ("http", "https")


def _fetch(url, optional):
    """The body at url; None for a 404 or 410 when optional."""
    try:
        with urllib.request.urlopen(url, timeout=TIMEOUT_SECONDS) as answer:
            return answer.read()
    except urllib.error.HTTPError as error:
        if optional and error.code in (404, 410):
            return None
        raise MirrorError(f"{url}: HTTP {error.code}") from error
    except (urllib.error.URLError, OSError) as error:
        raise MirrorError(f"{url}: {getattr(error, 'reason', error)}") from error


def _remote_size(url):
    """The size of the resource at url, None when it is missing: from a one-byte
    range request's Content-Range, as the launcher asks for ranges, or from the
    length of a whole answer where the server ignores ranges."""
    request = urllib.request.Request(url, headers={"Range": "bytes=0-0"})
    try:
        with urllib.request.urlopen(request, timeout=TIMEOUT_SECONDS) as answer:
            whole = answer.headers.get("Content-Range", "").rpartition("/")[2]
            size = whole if answer.status == 206 else answer.headers.get("Content-Length")
            if not size or not size.isdigit():
                raise MirrorError(f"{url}: the answer does not say the package's size")
            return int(size)
    except urllib.error.HTTPError as error:
        if error.code in (404, 410):
            return None
        if error.code == 416:  # an empty package
            return 0
        raise MirrorError(f"{url}: HTTP {error.code}") from error
    except (urllib.error.URLError, OSError) as error:
        raise MirrorError(f"{url}: {getattr(error, 'reason', error)}") from error


def _read_file(path, optional):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        if optional:
            return None
        raise MirrorError(f"{path}: no such file")
    except OSError as error:
        raise MirrorError(f"{path}: {error.strerror}") from error


def list_folders(list_bytes):
    """The package folders a list names, with the end of the last entry in each."""
    ends = {}
    text = list_bytes.decode("utf-8-sig", errors="replace")
    for line in text.split("\r\n"):
        columns = line.split("=")
        if len(columns) in (5, 6) and columns[3].isdigit() and columns[4].isdigit():
            ends[columns[2]] = max(ends.get(columns[2], 0), int(columns[3]) + int(columns[4]))
    return ends


def read_release(location):
    """What the host named by location holds (see the module's text)."""
    if _is_url(location):
        list_url = location
        base = list_url.split("?", 1)[0].rsplit("/", 2)[0] + "/"
        list_bytes = _fetch(list_url, optional=False)
        beside = {suffix: _fetch(list_url + suffix, optional=True) for _, suffix in BESIDE_THE_LIST}
        sizes = {folder: _remote_size(urllib.parse.urljoin(base, f"{folder}/{PACKAGE_NAME}"))
                 for folder in list_folders(list_bytes)}
        return Release(location, list_bytes, beside, sizes)
    list_path = os.path.join(location, "conf", "list.txt") if os.path.isdir(location) else location
    base = os.path.dirname(os.path.dirname(os.path.abspath(list_path)))
    list_bytes = _read_file(list_path, optional=False)
    beside = {suffix: _read_file(list_path + suffix, optional=True) for _, suffix in BESIDE_THE_LIST}
    sizes = {}
    for folder in list_folders(list_bytes):
        package = os.path.join(base, folder, PACKAGE_NAME)
        sizes[folder] = os.path.getsize(package) if os.path.isfile(package) else None
    return Release(location, list_bytes, beside, sizes)


def _digest(data):
    return "missing" if data is None else "SHA-256 " + hashlib.sha256(data).hexdigest()[:16]


def differences(releases):
    """What keeps the hosts from serving one release, one line each; empty when they agree."""
    found = []
    first = releases[0]
    for other in releases[1:]:
        if other.list_bytes != first.list_bytes:
            found.append(f"{other.where}: the list differs from {first.where}'s "
                         f"({_digest(other.list_bytes)} against {_digest(first.list_bytes)})")
        for what, suffix in BESIDE_THE_LIST:
            if other.beside[suffix] != first.beside[suffix]:
                found.append(f"{other.where}: {what} differs from {first.where}'s "
                             f"({_digest(other.beside[suffix])} against {_digest(first.beside[suffix])})")
    for release in releases:
        for folder, end in sorted(list_folders(release.list_bytes).items()):
            size = release.package_sizes.get(folder)
            if size is None:
                found.append(f"{release.where}: no package {folder}/{PACKAGE_NAME}")
            elif size < end:
                found.append(f"{release.where}: {folder}/{PACKAGE_NAME} has {size} bytes, "
                             f"the list names bytes up to {end}")
    for other in releases[1:]:
        for folder, size in sorted(other.package_sizes.items()):
            theirs = first.package_sizes.get(folder)
            if size is not None and theirs is not None and size != theirs:
                found.append(f"{other.where}: {folder}/{PACKAGE_NAME} has {size} bytes, "
                             f"{theirs} on {first.where}")
    return found
