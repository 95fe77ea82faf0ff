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

Signed lists (for launchers built with LIST_SIGNING_PUBLIC_KEYS):

  tqpack.py keygen --out KEY          KEY.pem (private, for the operator only) and
                                      KEY.pub (the public key as the build takes it)
  tqpack.py ... --sign-key KEY.pem --channel NAME
                                      also writes the statement LIST.sig beside the list
  tqpack.py sign --sign-key KEY.pem --channel NAME LIST
                                      signs an existing list without repacking

The statement is six lines of ASCII, each ending in LF:

  drel-list-statement 2
  channel <the launcher's package name, as its notice request sends it>
  sha256 <the list's SHA-256, 64 lower-case hex digits>
  serial <decimal; never lower than that of an earlier statement of the list>
  expires <decimal Unix time from which the launcher refuses the list>
  signature <ECDSA P-256 over SHA-256 of the five lines above: r and s, 128 hex digits>

A channel is 1 to 128 characters of printable ASCII without blanks ('!' to '~').
A UTF-8 byte-order mark at the start of the list is not part of the hashed bytes
(the launcher ignores it as well). The first five lines are the same bytes for the
same list, channel, serial and expiry; the signature differs from one signing to
the next. Launchers that check channels refuse statements of version 1 (the same
lines without the channel).
"""

import argparse
import fnmatch
import hashlib
import os
import sys
import time
import zlib

PACKAGE_NAME = "tq_game.tqpkg"
GZIP_MAGIC = b"\x1f\x8b"
MAX_ENTRY_SIZE = 2**31 - 1  # the size column is read as a signed 32-bit number
DEVICE_NAMES = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"} | \
    {f"{p}{d}" for p in ("COM", "LPT") for d in "123456789\u00b9\u00b2\u00b3"}
INVALID_CHARS = set(':*?"<>|=')


class PackError(Exception):
    pass


# The launcher writes every file under this suffix before it is verified, and
# deletes such files as leftovers: it refuses entries named so.
TEMPORARY_SUFFIX = ".drelpart"


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
        if segment.lower().endswith(TEMPORARY_SUFFIX):
            raise PackError(f"name ends like the launcher's temporary files ({TEMPORARY_SUFFIX}): {name!r}")
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
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
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


STATEMENT_HEADER = b"drel-list-statement 2\n"
# Earlier statements (no channel line) still count for the serial rule.
STATEMENT_HEADERS = (STATEMENT_HEADER, b"drel-list-statement 1\n")
MAX_CHANNEL_LENGTH = 128
STATEMENT_SUFFIX = ".sig"
DEFAULT_EXPIRES_DAYS = 30
UTF8_BOM = b"\xef\xbb\xbf"


def _crypto():
    """Debian's python3-cryptography, needed only for keys and statements."""
    try:
        from cryptography.exceptions import UnsupportedAlgorithm
        from cryptography.hazmat.primitives import hashes, serialization
        from cryptography.hazmat.primitives.asymmetric import ec, utils
    except ImportError:
        raise PackError("signing needs python3-cryptography (apt-get install python3-cryptography)") from None
    return hashes, serialization, ec, utils, UnsupportedAlgorithm


def public_key_text(public_key):
    """The form LIST_SIGNING_PUBLIC_KEYS takes: X and Y of the point, 128 hex digits."""
    numbers = public_key.public_numbers()
    return (numbers.x.to_bytes(32, "big") + numbers.y.to_bytes(32, "big")).hex()


def keygen(out):
    """Writes OUT.pem (the private key, readable by its owner only) and OUT.pub.
    Existing files are never overwritten: a lost private key cannot be made again."""
    _, serialization, ec, _, _ = _crypto()
    key = ec.generate_private_key(ec.SECP256R1())
    pem = key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                            serialization.NoEncryption())
    paths = (out + ".pem", out + ".pub")
    for path in paths:
        if os.path.exists(path):
            raise PackError(f"{path} exists; keys are never overwritten")
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    try:
        fd = os.open(paths[0], os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    except FileExistsError:
        raise PackError(f"{paths[0]} exists; keys are never overwritten") from None
    with os.fdopen(fd, "wb") as f:
        f.write(pem)
    write_replacing(paths[1], (public_key_text(key.public_key()) + "\n").encode("ascii"))
    return paths


def load_signing_key(path):
    _, serialization, ec, _, unsupported = _crypto()
    try:
        with open(path, "rb") as f:
            key = serialization.load_pem_private_key(f.read(), password=None)
    except (ValueError, TypeError, unsupported):
        raise PackError(f"{path}: not an unencrypted PEM private key") from None
    if not isinstance(key, ec.EllipticCurvePrivateKey) or key.curve.name != "secp256r1":
        raise PackError(f"{path}: not an ECDSA P-256 key (make one with: tqpack.py keygen)")
    return key


def list_digest(list_bytes):
    if list_bytes.startswith(UTF8_BOM):
        list_bytes = list_bytes[len(UTF8_BOM):]
    return hashlib.sha256(list_bytes).hexdigest()


def check_channel(channel):
    """The launcher takes 1 to 128 characters of printable ASCII without blanks."""
    if not isinstance(channel, str) or not 1 <= len(channel) <= MAX_CHANNEL_LENGTH or \
            any(not "!" <= ch <= "~" for ch in channel):
        raise PackError(f"--channel must be 1 to {MAX_CHANNEL_LENGTH} characters of printable ASCII "
                        f"without blanks (the launcher's package name), not {channel!r}")


def statement_body(list_bytes, channel, serial, expires):
    """The signed part of a statement: the same bytes for the same list, channel, serial and expiry."""
    check_channel(channel)
    for name, value in (("serial", serial), ("expires", expires)):
        if not isinstance(value, int) or not 0 <= value < 10**18:
            raise PackError(f"{name} must be a whole number from 0 to 10^18 - 1, not {value!r}")
    return (STATEMENT_HEADER + f"channel {channel}\nsha256 {list_digest(list_bytes)}\nserial {serial}\n"
            f"expires {expires}\n".encode("ascii"))


def make_statement(list_bytes, key, channel, serial, expires):
    hashes, _, ec, utils, _ = _crypto()
    body = statement_body(list_bytes, channel, serial, expires)
    r, s = utils.decode_dss_signature(key.sign(body, ec.ECDSA(hashes.SHA256())))
    return body + b"signature " + (r.to_bytes(32, "big") + s.to_bytes(32, "big")).hex().encode("ascii") + b"\n"


def statement_serial(statement):
    """The serial of a statement this packer wrote (of either version), or None."""
    lines = statement.split(b"\n")
    if not lines or lines[0] + b"\n" not in STATEMENT_HEADERS:
        return None
    serials = [line[len(b"serial "):] for line in lines[1:4] if line.startswith(b"serial ")]
    return int(serials[0]) if len(serials) == 1 and serials[0].isdigit() else None


def sign_list(list_path, key, channel, serial=None, expires=None, expires_days=DEFAULT_EXPIRES_DAYS, now=None):
    """Writes LIST.sig beside the list and gives its path. The serial defaults to the
    current time in seconds, raised to that of the statement already there; an
    explicit serial below it is refused, since launchers that accepted the earlier
    statement would refuse this one."""
    check_channel(channel)
    now = int(time.time()) if now is None else now
    statement_path = list_path + STATEMENT_SUFFIX
    with open(list_path, "rb") as f:
        list_bytes = f.read()
    previous = None
    if os.path.exists(statement_path):
        with open(statement_path, "rb") as f:
            previous = statement_serial(f.read())
    if serial is None:
        serial = max(now, previous or 0)
    elif previous is not None and serial < previous:
        raise PackError(f"serial {serial} is below {previous}, the serial of {statement_path}")
    if expires is None:
        if expires_days < 1:
            raise PackError("--expires-days must be at least 1")
        expires = now + expires_days * 86400
    write_replacing(statement_path, make_statement(list_bytes, key, channel, serial, expires))
    return statement_path


def add_signing_options(parser, required):
    parser.add_argument("--sign-key", required=required, metavar="KEY.pem",
                        help="private key from tqpack.py keygen: write the statement LIST.sig beside the list")
    parser.add_argument("--channel", metavar="NAME",
                        help="the launcher's package name, which the statement names (required with --sign-key); "
                             f"1 to {MAX_CHANNEL_LENGTH} characters of printable ASCII without blanks")
    parser.add_argument("--expires-days", type=int, default=DEFAULT_EXPIRES_DAYS, metavar="N",
                        help=f"the launcher refuses the list from N days after signing on (default {DEFAULT_EXPIRES_DAYS})")
    parser.add_argument("--serial", type=int, metavar="N",
                        help="statement serial (default: the current time in seconds); never below an earlier one")


def checked_signing_options(args):
    """The signing key and the channel, both checked before anything is written."""
    if not args.sign_key:
        if args.channel is not None:
            raise PackError("--channel names what a statement is for: it needs --sign-key")
        return None
    if args.channel is None:
        raise PackError("--channel NAME (the launcher's package name) is required with --sign-key")
    check_channel(args.channel)
    return load_signing_key(args.sign_key)


def sign_as_told(list_path, key, args):
    print(f"tqpack: wrote {sign_list(list_path, key, args.channel, args.serial, expires_days=args.expires_days)}")


def main_keygen(argv):
    parser = argparse.ArgumentParser(prog="tqpack.py keygen",
                                     description="Make an ECDSA P-256 key pair for signing resource lists.")
    parser.add_argument("--out", required=True, metavar="KEY",
                        help="writes KEY.pem (private: keep it off the CDN) and KEY.pub (for LIST_SIGNING_PUBLIC_KEYS)")
    args = parser.parse_args(argv)
    pem, pub = keygen(args.out)
    print(f"tqpack: private key {pem}, public key {pub}")


def main_sign(argv):
    parser = argparse.ArgumentParser(prog="tqpack.py sign", description="Sign an existing list without repacking.")
    parser.add_argument("list", metavar="LIST", help="the list file, for example CDN_DIR/conf/list.txt")
    add_signing_options(parser, required=True)
    args = parser.parse_args(argv)
    sign_as_told(args.list, checked_signing_options(args), args)


def main_pack(argv):
    parser = argparse.ArgumentParser(description="Pack game and launcher files into a CDN folder for the launcher.",
                                     epilog="Other commands: tqpack.py keygen --help, tqpack.py sign --help")
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
    add_signing_options(parser, required=False)
    args = parser.parse_args(argv)
    # The key and the channel are checked first: a bad one stops the run before anything is written.
    key = checked_signing_options(args)
    count, size = pack(args.game, args.launcher, args.out, args.folders, args.list_path,
                       args.store, args.level, args.codepage)
    print(f"tqpack: {count} entries, {size} bytes in {args.folders} package(s), list {args.list_path}")
    if key is not None:
        sign_as_told(os.path.join(args.out, *args.list_path.split("/")), key, args)


def main(argv=None):
    argv = sys.argv[1:] if argv is None else list(argv)
    commands = {"keygen": main_keygen, "sign": main_sign}
    run = commands.get(argv[0]) if argv else None
    try:
        if run:
            run(argv[1:])
        else:
            main_pack(argv)
    except (PackError, OSError) as error:
        print(f"tqpack: {error}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
