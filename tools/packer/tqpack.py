#!/usr/bin/python3
"""Content packer for the launcher's CDN.

Given a folder of game files and (optionally) a folder of launcher files, writes
a CDN folder the launcher can update from:

  OUT/conf/list.txt              the CDN list (path set by --list)
  OUT/res1/tq_game.tqpkg         one package per remote folder (--folders)
  OUT/res2/tq_game.tqpkg ...

Each list line is  name=MD5=folder=offset=size[=launcher]  (CR LF, UTF-8 without
byte-order mark). MD5 is taken over the file's bytes (32 upper-case hex digits);
offset and size locate the entry's bytes in its folder's package; those bytes
are one gzip member of the file (or the file itself when stored, see --store).
The launcher derives the packages' base URL by dropping the list's file name
and its folder from the list URL, so the list lives one folder below OUT.

The output is the same byte for byte for the same input and options.
"""

import argparse
import fnmatch
import hashlib
import os
import sys
import zlib

PACKAGE_NAME = "tq_game.tqpkg"
GZIP_MAGIC = b"\x1f\x8b"
MAX_ENTRY_SIZE = 2**31 - 1  # the size column is read as a signed 32-bit number
DEVICE_NAMES = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"} | \
    {f"{p}{d}" for p in ("COM", "LPT") for d in "123456789\u00b9\u00b2\u00b3"}
INVALID_CHARS = set(':*?"<>|=')


class PackError(Exception):
    pass


def ordinal_key(name):
    """The launcher orders names by their UTF-16 code units."""
    return name.encode("utf-16-be")


def check_name(name, codepage):
    """Refuses names the launcher cannot list or would refuse as a path."""
    if name != name.strip():
        raise PackError(f"name has leading or trailing white space: {name!r}")
    for ch in name:
        if ord(ch) < 0x20 or ch in INVALID_CHARS:
            raise PackError(f"name holds {ch!r}, which a list line or a Windows file name cannot: {name!r}")
    for segment in name.split("\\"):
        if not segment or segment[-1] in ". ":
            raise PackError(f"name has an empty segment or one ending in a dot or blank: {name!r}")
        stem = segment.split(".", 1)[0].rstrip(" ").upper()
        if stem in DEVICE_NAMES:
            raise PackError(f"name uses a reserved Windows device name: {name!r}")
    try:
        name.encode(codepage)
    except UnicodeEncodeError:
        raise PackError(f"name cannot be written in code page {codepage}, "
                        f"the players' launcher would garble it: {name!r}") from None


def collect(folder, category, codepage):
    """(name, path, category) of every file below folder, names with backslashes."""
    entries = []
    if folder is None:
        return entries
    if not os.path.isdir(folder):
        raise PackError(f"not a folder: {folder}")
    for base, dirs, files in os.walk(folder):
        dirs.sort()
        for file_name in sorted(files):
            path = os.path.join(base, file_name)
            if not os.path.isfile(path):
                continue
            name = os.path.relpath(path, folder).replace(os.sep, "\\")
            check_name(name, codepage)
            entries.append((name, path, category))
    # Windows folds case: two names that differ only in case are one file there.
    seen = {}
    for name, _, _ in entries:
        folded = name.casefold()
        if folded in seen:
            raise PackError(f"names differ only in case, one file on Windows: {seen[folded]!r} and {name!r}")
        seen[folded] = name
    entries.sort(key=lambda e: ordinal_key(e[0]))
    return entries


def gzip_member(data, level):
    # No file name, modification time 0: the same bytes for the same input.
    compressor = zlib.compressobj(level, zlib.DEFLATED, 16 + zlib.MAX_WBITS)
    return compressor.compress(data) + compressor.flush()


def encode_entry(name, data, store_patterns, level, warn):
    """The bytes that go into the package for one file."""
    stored = any(fnmatch.fnmatchcase(name.replace("\\", "/"), p) for p in store_patterns)
    if stored:
        # The launcher's reader passes data without the gzip magic through as it
        # is; an empty range or one starting with the magic cannot be stored.
        if not data:
            warn(f"{name}: empty, stored as a gzip member")
        elif data.startswith(GZIP_MAGIC):
            warn(f"{name}: starts with the gzip magic, stored as a gzip member")
        else:
            return data
    return gzip_member(data, level)


def assign_folders(entries, folders):
    """Contiguous runs of entries per folder, balanced by file size; no folder is
    skipped or left empty while there are entries enough."""
    sizes = [os.path.getsize(path) for _, path, _ in entries]
    total = sum(sizes) or 1
    assigned, before, previous = [], 0, -1
    for k, size in enumerate(sizes):
        wanted = max(min(folders - 1, before * folders // total), folders - (len(sizes) - k))
        previous = max(previous, min(previous + 1, wanted))
        assigned.append(previous)
        before += size
    return assigned


def write_replacing(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    temporary = path + ".part"
    with open(temporary, "wb") as out:
        out.write(data)
    os.replace(temporary, path)


def pack(game, launcher, out, folders=1, list_path="conf/list.txt", store=(), level=9,
         codepage="cp936", warn=lambda message: print("tqpack: " + message, file=sys.stderr)):
    if folders < 1:
        raise PackError("--folders must be at least 1")
    list_parts = list_path.split("/")
    if len(list_parts) != 2 or not all(list_parts):
        raise PackError("--list must be FOLDER/FILE: the launcher finds the packages "
                        "two levels above the list's URL")
    entries = collect(game, "", codepage) + collect(launcher, "launcher", codepage)
    folder_names = [f"res{i + 1}" for i in range(folders)]
    if list_parts[0] in folder_names:
        raise PackError(f"--list folder {list_parts[0]!r} is also a package folder")
    assigned = assign_folders(entries, folders)

    # Packages are streamed into ".part" files and put in place only when all are written.
    package_paths = {name: os.path.join(out, name, PACKAGE_NAME) for name in folder_names}
    packages, offsets, lines = {}, {name: 0 for name in folder_names}, []
    try:
        for name in folder_names:
            os.makedirs(os.path.dirname(package_paths[name]), exist_ok=True)
            packages[name] = open(package_paths[name] + ".part", "wb")
        for (name, path, category), index in zip(entries, assigned):
            with open(path, "rb") as f:
                data = f.read()
            encoded = encode_entry(name, data, store, level, warn)
            if len(encoded) > MAX_ENTRY_SIZE:
                raise PackError(f"{name}: {len(encoded)} bytes in the package, more than the list can state")
            folder = folder_names[index]
            columns = [name, hashlib.md5(data).hexdigest().upper(), folder, str(offsets[folder]), str(len(encoded))]
            if category:
                columns.append(category)
            lines.append("=".join(columns) + "\r\n")
            packages[folder].write(encoded)
            offsets[folder] += len(encoded)
    except BaseException:
        for name, f in packages.items():
            f.close()
            os.remove(package_paths[name] + ".part")
        raise
    for name, f in packages.items():
        f.close()
        os.replace(package_paths[name] + ".part", package_paths[name])
    # The list last: it names ranges in the packages written above.
    write_replacing(os.path.join(out, *list_parts), "".join(lines).encode("utf-8"))
    return len(entries), sum(offsets.values())


def main(argv=None):
    parser = argparse.ArgumentParser(description="Pack game and launcher files into a CDN folder for the launcher.")
    parser.add_argument("--game", required=True, help="folder of game files (installed under the game root's game\\)")
    parser.add_argument("--launcher", help="folder of launcher files (installed through launcher.tmp)")
    parser.add_argument("--out", required=True, help="CDN folder to write")
    parser.add_argument("--folders", type=int, default=1, help="number of remote folders (packages), default 1")
    parser.add_argument("--list", default="conf/list.txt", dest="list_path",
                        help="list path below OUT, FOLDER/FILE (default conf/list.txt)")
    parser.add_argument("--store", action="append", default=[], metavar="GLOB",
                        help="store entries whose name (with /) matches GLOB without gzip; repeatable")
    parser.add_argument("--level", type=int, default=9, choices=range(1, 10), help="gzip level, default 9")
    parser.add_argument("--codepage", default="cp936",
                        help="players' ANSI code page; names must be representable in it (default cp936)")
    args = parser.parse_args(argv)
    try:
        count, size = pack(args.game, args.launcher, args.out, args.folders, args.list_path,
                           args.store, args.level, args.codepage)
    except (PackError, OSError) as error:
        print(f"tqpack: {error}", file=sys.stderr)
        return 2
    print(f"tqpack: {count} entries, {size} bytes in {args.folders} package(s), list {args.list_path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
