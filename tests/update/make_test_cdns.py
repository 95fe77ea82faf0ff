#!/usr/bin/python3
"""Builds the CDNs the resource-update tests download from, with the content
packer: sample content under C:\\cdn-src\\update\\<case>\\ of the test prefix and
the packed CDN under C:\\cdn\\update\\<case>\\ (served by the test nginx).

Usage: make_test_cdns.py (in the build's Wine environment: tests/wine/in-wine-env.sh)
"""

import os
import random
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "packer"))
import tqpack  # noqa: E402

MIB = 1024 * 1024


def random_bytes(seed, size):
    return random.Random(seed).randbytes(size)


def text_bytes(seed, size):
    rng = random.Random(seed)
    words = ["naval", "battle", "fleet", "harbour", "舰队", "港口", "destroyer", "\r\n"]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words).encode("utf-8") + b" "
    return bytes(out[:size])


def write_tree(root, files):
    for name, data in files.items():
        path = os.path.join(root, *name.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def build(src_root, cdn_root, case, game, launcher=None, **options):
    src = os.path.join(src_root, case)
    out = os.path.join(cdn_root, case)
    for folder in (src, out):
        shutil.rmtree(folder, ignore_errors=True)
    write_tree(os.path.join(src, "game"), game)
    os.makedirs(os.path.join(src, "game"), exist_ok=True)
    launcher_dir = None
    if launcher is not None:
        launcher_dir = os.path.join(src, "launcher")
        write_tree(launcher_dir, launcher)
    tqpack.pack(os.path.join(src, "game"), launcher_dir, out, warn=lambda m: None, **options)
    return out


def list_rows(out):
    with open(os.path.join(out, "conf", "list.txt"), "rb") as f:
        return [line.split("=") for line in f.read().decode("utf-8").split("\r\n") if line]


def hold_package(out, folder):
    """That folder's package answers 404 until the test puts it back."""
    package = os.path.join(out, folder, tqpack.PACKAGE_NAME)
    os.replace(package, package + ".held")


def rename_folder(out, old, new):
    """Moves a package to another remote folder and says so in the list."""
    os.replace(os.path.join(out, old), os.path.join(out, new))
    rows = list_rows(out)
    for row in rows:
        if row[2] == old:
            row[2] = new
    with open(os.path.join(out, "conf", "list.txt"), "wb") as f:
        f.write("".join("=".join(row) + "\r\n" for row in rows).encode("utf-8"))


def main():
    drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c")
    src_root = os.path.join(drive_c, "cdn-src", "update")
    cdn_root = os.path.join(drive_c, "cdn", "update")

    # A first install: sub-folders, names of code page 936, an empty file, an
    # entry over 10 MiB, a stored entry, many small files sharing ranges.
    full = {
        "readme.txt": text_bytes(1, 3000),
        "B.txt": b"sorts before a.txt",
        "a.txt": b"after B.txt",
        "data\\level1.bin": random_bytes(2, 300 * 1024),
        "data\\sub\\deep\\tiny.dat": b"tiny!",
        "中文目录\\资源文件.txt": "资源内容".encode("utf-8") * 100,
        "empty.dat": b"",
        "big\\video.bin": random_bytes(3, 10 * MIB + 512 * 1024),
        "raw\\stored.bin": random_bytes(4, 50 * 1024),
    }
    for i in range(40):
        full[f"many\\f{i:03d}.txt"] = text_bytes(100 + i, 200 + 37 * i)
    build(src_root, cdn_root, "full", full, folders=3, store=["raw/*"])

    # An incremental update: a.txt modified, c.txt removed, d.txt added.
    v1 = {"a.txt": b"version one", "b.txt": b"unchanged", "c.txt": b"withdrawn later",
          "keep\\x.bin": random_bytes(5, 4096)}
    v2 = dict(v1, **{"a.txt": b"version two, longer", "d.txt": b"new in two"})
    del v2["c.txt"]
    build(src_root, cdn_root, "incr1", v1, folders=2)
    build(src_root, cdn_root, "incr2", v2, folders=2)

    # Launcher files beside a game file; one package, so the launcher files
    # form one range and arrive in list order.
    build(src_root, cdn_root, "launcher", {"g1.txt": b"game file"},
          {"plugins\\a.dll": b"\x01\x02\x03", "talmodrel.exe": random_bytes(6, 20000)}, folders=1)
    # A launcher batch whose second package is missing.
    out = build(src_root, cdn_root, "launcherfail", {"g1.txt": b"game file"},
                {"a.dll": b"\x01\x02\x03", "z.dll": random_bytes(7, 5000)}, folders=2)
    hold_package(out, next(r[2] for r in list_rows(out) if r[0] == "z.dll"))

    # A game-resource batch that fails part-way: one of three packages is missing.
    fail = {f"part\\f{i:02d}.bin": random_bytes(200 + i, 20000 + 1000 * i) for i in range(30)}
    out = build(src_root, cdn_root, "fail", fail, folders=3)
    hold_package(out, "res2")

    # A list without a single game resource (the packer given an empty folder).
    build(src_root, cdn_root, "empty", {})

    # A stale CDN edge: the list is new but the package still the old one, so
    # a.bin's range holds a valid gzip member of its old content (random bytes
    # of one size pack to members of one size, so the offsets still match).
    old = {"a.bin": random_bytes(20, 6000), "b.bin": random_bytes(21, 6000)}
    build(src_root, cdn_root, "staleold", old)
    out = build(src_root, cdn_root, "stale", dict(old, **{"a.bin": random_bytes(22, 6000)}))
    stale = os.path.join(cdn_root, "staleold", "res1", tqpack.PACKAGE_NAME)
    assert os.path.getsize(stale) == os.path.getsize(os.path.join(out, "res1", tqpack.PACKAGE_NAME))
    shutil.copy(stale, os.path.join(out, "res1", tqpack.PACKAGE_NAME))

    # Small files that complete while a long one is still arriving: the long
    # one's package is in the folder "drip", which the test nginx serves at a
    # byte a second after its first 4 KiB.
    clock = {f"small\\s{i:02d}.txt": text_bytes(300 + i, 500) for i in range(20)}
    clock["zz\\long.bin"] = random_bytes(30, 200 * 1024)
    out = build(src_root, cdn_root, "clock", clock, folders=2)
    assert [r[2] for r in list_rows(out) if r[0] == "zz\\long.bin"] == ["res2"]
    rename_folder(out, "res2", "drip")

    # A file deeper than MAX_PATH below any game root.
    deep = "\\".join(f"{i}" + "d" * 59 for i in range(5)) + "\\deep.bin"
    build(src_root, cdn_root, "deep", {deep: random_bytes(31, 5000), "short.txt": b"short"})

    # An edge that answers with an error page where the package should be.
    out = build(src_root, cdn_root, "notgzip", {"a.bin": random_bytes(23, 6000)})
    package = os.path.join(out, "res1", tqpack.PACKAGE_NAME)
    size = os.path.getsize(package)
    page = b"<html><body><h1>502 Bad Gateway</h1></body></html>\n"
    with open(package, "wb") as f:
        f.write((page * (size // len(page) + 1))[:size])
    return 0


if __name__ == "__main__":
    sys.exit(main())
