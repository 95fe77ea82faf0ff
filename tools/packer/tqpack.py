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

Files of at least 1 MiB that are gzipped are cut into content-defined chunks
(util/ContentChunker.h, through a host program built from the same source as
the launcher's chunker on first use; --no-chunks turns this off). Such a file is
still one gzip member, but its deflate stream is fully flushed at every chunk
end, so each chunk inflates on its own from where it starts in the member. The
content index LIST.index, written beside the list, names every file's chunks
(UTF-8, LF):

  drel-content-index 1
  list <SHA-256 of the list, as in its statement>
  file <SHA-256 of the file> <chunk count> <name as in the list>
  chunk <offset in file> <length> <offset in member> <length in member> <SHA-256 of the chunk>

one file line per list entry in list order, each followed by its chunk lines
(none for files not cut). A chunk's bytes in the package start at the entry's
offset plus its member offset; the first starts after the 10-byte gzip header,
the last runs to the member's end.

The output is the same byte for byte for the same input and options.

Signed lists (for launchers built with LIST_SIGNING_PUBLIC_KEYS):

  tqpack.py keygen --out KEY          KEY.pem (private, for the operator only) and
                                      KEY.pub (the public key as the build takes it)
  tqpack.py ... --sign-key KEY.pem --channel NAME
                                      also writes the statement LIST.sig beside the list
  tqpack.py sign --sign-key KEY.pem --channel NAME LIST
                                      signs an existing list without repacking

With a content index beside the list, the index gets a statement of its own,
LIST.index.sig, of the same form, channel, serial and expiry, over the index.

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
import concurrent.futures
import fnmatch
import hashlib
import mmap
import os
import shutil
import struct
import subprocess
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


def gzip_compressor(level):
    # No file name, modification time 0: the same bytes for the same input.
    return zlib.compressobj(level, zlib.DEFLATED, 16 + zlib.MAX_WBITS)


def gzip_member(data, level):
    compressor = gzip_compressor(level)
    return compressor.compress(data) + compressor.flush()


# Files of at least this many bytes are cut into chunks (unless stored).
CHUNK_THRESHOLD = 1 << 20
# zlib's gzip header without name or extra field: where the deflate stream starts.
GZIP_HEADER_SIZE = 10
SOURCE_ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
# The launcher compiles the same chunker: the host tool is built from these files.
CHUNK_TOOL_SOURCES = ("util/ContentChunker.h", "util/ContentChunker.cpp", "tools/packer/chunk_tool.cpp")
HOST_COMPILERS = ("c++", "g++")


def chunked_gzip_member(data, ends, level):
    """One gzip member of data whose deflate stream ends a block with a full flush
    at every chunk end but the last: no chunk refers back to an earlier one, so
    each raw-inflates alone from its start. Gives the member and, per chunk, its
    (offset, length) inside the member; the last one takes the trailer along."""
    compressor = gzip_compressor(level)
    view = memoryview(data)
    parts, spans = [], []
    start, member_size, chunk_at = 0, 0, GZIP_HEADER_SIZE
    for number, end in enumerate(ends):
        parts.append(compressor.compress(view[start:end]))
        parts.append(compressor.flush(zlib.Z_FULL_FLUSH if number + 1 < len(ends) else zlib.Z_FINISH))
        member_size += len(parts[-2]) + len(parts[-1])
        spans.append((chunk_at, member_size - chunk_at))
        start, chunk_at = end, member_size
    return b"".join(parts), spans


def chunk_tool_path():
    """The host chunk tool, built with the host's C++ compiler on first use into
    the user's cache, under a name that changes with its sources."""
    digest = hashlib.sha256()
    for source in CHUNK_TOOL_SOURCES:
        with open(os.path.join(SOURCE_ROOT, *source.split("/")), "rb") as f:
            text = f.read()
        digest.update(source.encode("ascii") + b"\0" + str(len(text)).encode("ascii") + b"\0" + text)
    cache = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    path = os.path.join(cache, "drel-launcher", "chunk_tool-" + digest.hexdigest()[:16])
    if os.path.isfile(path):
        return path
    compiler = next((found for found in map(shutil.which, HOST_COMPILERS) if found), None)
    if compiler is None:
        raise PackError(f"files of {CHUNK_THRESHOLD >> 20} MiB and more are cut into chunks by a program built "
                        "with the host's C++ compiler, and there is none: apt-get install g++, "
                        "or pack without chunks (--no-chunks)")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    # Another packer may build the same tool at the same time: each under its own
    # temporary name, then put in place in one step.
    temporary = f"{path}.{os.getpid()}.part"
    sources = [os.path.join(SOURCE_ROOT, *s.split("/")) for s in CHUNK_TOOL_SOURCES if s.endswith(".cpp")]
    try:
        built = subprocess.run([compiler, "-O2", "-std=c++17", "-I", SOURCE_ROOT, *sources, "-o", temporary],
                               stdin=subprocess.DEVNULL, capture_output=True, text=True)
        if built.returncode != 0:
            raise PackError(f"building the host chunk tool with {compiler} failed:\n{built.stderr.strip()}")
        os.replace(temporary, path)
    finally:
        if os.path.exists(temporary):
            os.remove(temporary)
    return path


class ChunkCutter:
    """The host chunk tool in --stream mode, one process for a whole run: a file's
    bytes go in, its chunk ends come back."""

    def __init__(self, tool):
        self.process = subprocess.Popen([tool, "--stream"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)

    def ends(self, data):
        try:
            self.process.stdin.write(struct.pack("<Q", len(data)))
            self.process.stdin.write(data)
            self.process.stdin.flush()
            line = self.process.stdout.readline()
        except BrokenPipeError:
            line = b""
        try:
            ends = [int(end) for end in line.split()] if line.endswith(b"\n") else None
        except ValueError:
            ends = None
        # Ends rise from above 0 to the length (none for no bytes); anything else is not used.
        if ends is None or (ends[-1:] or [0])[0] != len(data) or any(b <= a for a, b in zip([0] + ends, ends)):
            raise PackError(f"the host chunk tool gave no usable chunk ends for {len(data)} bytes: {line[:200]!r}")
        return ends

    def close(self):
        try:
            self.process.stdin.close()
        except BrokenPipeError:  # the tool is gone already; ends() said so
            pass
        self.process.stdout.close()
        self.process.wait()


def is_stored(name, store_patterns):
    return any(fnmatch.fnmatchcase(name.replace("\\", "/"), p) for p in store_patterns)


def encode_entry(name, data, store_patterns, level, warn, cutter=None):
    """The bytes that go into the package for one file, and its chunks as
    (offset, length, offset in member, length in member): none unless cutter is
    given and the file is gzipped and large enough. Files matched by --store are
    never cut, even when they are gzipped anyway."""
    if is_stored(name, store_patterns):
        # The launcher's reader passes data without the gzip magic through as it
        # is; an empty range or one starting with the magic cannot be stored.
        if not data:
            warn(f"{name}: empty, stored as a gzip member")
        elif data[:len(GZIP_MAGIC)] == GZIP_MAGIC:
            warn(f"{name}: starts with the gzip magic, stored as a gzip member")
        else:
            return data, []
        return gzip_member(data, level), []
    if cutter is None or len(data) < CHUNK_THRESHOLD:
        return gzip_member(data, level), []
    ends = cutter.ends(data)
    member, spans = chunked_gzip_member(data, ends, level)
    return member, [(start, end - start) + span for start, end, span in zip([0] + ends, ends, spans)]


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


INDEX_SUFFIX = ".index"
INDEX_HEADER = "drel-content-index 1\n"


def content_index(list_bytes, indexed):
    """The content index of a list: indexed holds, per list entry in list order,
    (name, SHA-256 of the file, chunks as encode_entry gives them with their
    SHA-256 appended)."""
    lines = [INDEX_HEADER, f"list {list_digest(list_bytes)}\n"]
    for name, digest, chunks in indexed:
        lines.append(f"file {digest} {len(chunks)} {name}\n")
        lines.extend("chunk %d %d %d %d %s\n" % chunk for chunk in chunks)
    return "".join(lines).encode("utf-8")


def pack(game, launcher, out, folders=1, list_path="conf/list.txt", store=(), level=9,
         codepage="cp936", warn=lambda message: print("tqpack: " + message, file=sys.stderr), chunks=True):
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
    # The chunk tool is built before anything is written: without a compiler nothing is.
    cuts = chunks and any(os.path.getsize(path) >= CHUNK_THRESHOLD and not is_stored(name, store)
                          for name, path, _ in entries)
    cutter = ChunkCutter(chunk_tool_path()) if cuts else None

    # Packages are streamed into ".part" files and put in place only when all are written.
    package_paths = {name: os.path.join(out, name, PACKAGE_NAME) for name in folder_names}
    packages, offsets, lines, indexed = {}, {name: 0 for name in folder_names}, [], []
    digests = concurrent.futures.ThreadPoolExecutor(max_workers=2)
    try:
        for name in folder_names:
            os.makedirs(os.path.dirname(package_paths[name]), exist_ok=True)
            packages[name] = open(package_paths[name] + ".part", "wb")
        for (name, path, category), index in zip(entries, assigned):
            with open(path, "rb") as f:
                # Large files are mapped rather than read: a file of several
                # GiB is then never copied into memory as a whole.
                data = (mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ)
                        if os.fstat(f.fileno()).st_size >= CHUNK_THRESHOLD else f.read())
            # The whole file's digests while it is compressed and cut: hashing
            # and zlib let other threads run, and a large file takes seconds.
            md5 = digests.submit(lambda d: hashlib.md5(d).hexdigest().upper(), data)
            sha256 = digests.submit(lambda d: hashlib.sha256(d).hexdigest(), data)
            encoded, spans = encode_entry(name, data, store, level, warn, cutter)
            if len(encoded) > MAX_ENTRY_SIZE:
                raise PackError(f"{name}: {len(encoded)} bytes in the package, more than the list can state")
            folder = folder_names[index]
            columns = [name, md5.result(), folder, str(offsets[folder]), str(len(encoded))]
            if category:
                columns.append(category)
            lines.append("=".join(columns) + "\r\n")
            view = memoryview(data)
            indexed.append((name, sha256.result(),
                            [span + (hashlib.sha256(view[span[0]:span[0] + span[1]]).hexdigest(),) for span in spans]))
            packages[folder].write(encoded)
            offsets[folder] += len(encoded)
            del view
            if isinstance(data, mmap.mmap):
                data.close()
    except BaseException:
        for name, f in packages.items():
            f.close()
            os.remove(package_paths[name] + ".part")
        raise
    finally:
        digests.shutdown()
        if cutter is not None:
            cutter.close()
    for name, f in packages.items():
        f.close()
        os.replace(package_paths[name] + ".part", package_paths[name])
    # The list last: it names ranges in the packages written above. The index
    # names the list's hash, so the list's bytes are made first and written after it.
    list_bytes = "".join(lines).encode("utf-8")
    list_file = os.path.join(out, *list_parts)
    write_replacing(list_file + INDEX_SUFFIX, content_index(list_bytes, indexed))
    write_replacing(list_file, list_bytes)
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


def read_if_present(path):
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def sign_list(list_path, key, channel, serial=None, expires=None, expires_days=DEFAULT_EXPIRES_DAYS, now=None):
    """Writes LIST.sig beside the list and, when the list's content index is beside
    it, LIST.index.sig with the same channel, serial and expiry; gives the paths
    written, the list's statement last. The serial defaults to the current time in
    seconds, raised to the highest of the statements already there; an explicit
    serial below that is refused, since launchers that accepted the earlier
    statement would refuse this one. An index made for other list bytes is
    refused before anything is written."""
    check_channel(channel)
    now = int(time.time()) if now is None else now
    with open(list_path, "rb") as f:
        list_bytes = f.read()
    signed = [(list_path, list_bytes)]
    index_path = list_path + INDEX_SUFFIX
    index_bytes = read_if_present(index_path)
    if index_bytes is not None:
        if not index_bytes.startswith((INDEX_HEADER + f"list {list_digest(list_bytes)}\n").encode("ascii")):
            raise PackError(f"{index_path} is not the content index of {list_path} (its list line names "
                            "other bytes): pack again, or remove the index")
        signed.insert(0, (index_path, index_bytes))
    previous, previous_path = None, None
    for path, _ in signed:
        earlier = read_if_present(path + STATEMENT_SUFFIX)
        earlier_serial = statement_serial(earlier) if earlier is not None else None
        if earlier_serial is not None and (previous is None or earlier_serial > previous):
            previous, previous_path = earlier_serial, path + STATEMENT_SUFFIX
    if serial is None:
        serial = max(now, previous or 0)
    elif previous is not None and serial < previous:
        raise PackError(f"serial {serial} is below {previous}, the serial of {previous_path}")
    if expires is None:
        if expires_days < 1:
            raise PackError("--expires-days must be at least 1")
        expires = now + expires_days * 86400
    for path, data in signed:
        write_replacing(path + STATEMENT_SUFFIX, make_statement(data, key, channel, serial, expires))
    return [path + STATEMENT_SUFFIX for path, _ in signed]


def add_signing_options(parser, required):
    parser.add_argument("--sign-key", required=required, metavar="KEY.pem",
                        help="private key from tqpack.py keygen: write the statements LIST.sig (and LIST.index.sig "
                             "when the list has a content index) beside the list")
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
    for path in sign_list(list_path, key, args.channel, args.serial, expires_days=args.expires_days):
        print(f"tqpack: wrote {path}")


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
                                     epilog="Other commands: tqpack.py keygen --help, tqpack.py sign --help, "
                                            "tqpack.py check-mirrors --help")
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
    parser.add_argument("--no-chunks", dest="chunks", action="store_false",
                        help=f"do not cut files of {CHUNK_THRESHOLD >> 20} MiB and more into chunks "
                             "(needs no host C++ compiler; the index then names no chunks)")
    add_signing_options(parser, required=False)
    args = parser.parse_args(argv)
    # The key and the channel are checked first: a bad one stops the run before anything is written.
    key = checked_signing_options(args)
    count, size = pack(args.game, args.launcher, args.out, args.folders, args.list_path,
                       args.store, args.level, args.codepage, chunks=args.chunks)
    print(f"tqpack: {count} entries, {size} bytes in {args.folders} package(s), list {args.list_path}")
    if key is not None:
        sign_as_told(os.path.join(args.out, *args.list_path.split("/")), key, args)


def main_check_mirrors(argv):
    import mirrors  # noqa: E402 (it takes the package name from this module)

    parser = argparse.ArgumentParser(
        prog="tqpack.py check-mirrors",
        description="Check that CDN hosts hold the same release before the launcher server's answer names "
                    "them all: the list, its statements and the content index the same bytes everywhere, "
                    "every package the list names of the same size everywhere and large enough for it. "
                    "Exit code 1 when they differ.")
    parser.add_argument("lists", nargs="+", metavar="LIST",
                        help="each host's list: a file (or CDN folder) or its http(s) URL, as the answer names it")
    args = parser.parse_args(argv)
    if len(args.lists) < 2:
        raise PackError("check-mirrors needs the lists of two hosts or more")
    try:
        releases = [mirrors.read_release(location) for location in args.lists]
    except mirrors.MirrorError as error:
        raise PackError(f"cannot read a host: {error}") from error
    found = mirrors.differences(releases)
    for line in found:
        print(f"tqpack: {line}")
    if found:
        return 1
    print(f"tqpack: the {len(releases)} hosts hold the same release "
          f"(list SHA-256 {hashlib.sha256(releases[0].list_bytes).hexdigest()}, "
          f"{len(releases[0].package_sizes)} package(s))")
    return 0


def main(argv=None):
    argv = sys.argv[1:] if argv is None else list(argv)
    commands = {"keygen": main_keygen, "sign": main_sign, "check-mirrors": main_check_mirrors}
    run = commands.get(argv[0]) if argv else None
    try:
        if run:
            return run(argv[1:]) or 0
        main_pack(argv)
    except (PackError, OSError) as error:
        print(f"tqpack: {error}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
