#!/usr/bin/python3
"""The demo: packs a sample content set (with the stub game as game\\drel_game.exe),
points the launcher-server stub at it, runs the launcher through the whole update
to the game's start, and tells what happened."""
import os
import random
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
import launcher_session as ls  # noqa: E402


def sample_game(folder):
    shutil.rmtree(folder, ignore_errors=True)
    rnd = random.Random(2026)
    files = {
        "drel_game.exe": open(os.path.join(ls.BUILD_DIR, "bin", "drel_game.exe"), "rb").read(),
        "data\\ships\\驱逐舰.model": rnd.randbytes(600000),
        "data\\ships\\cruiser.model": rnd.randbytes(400000),
        "data\\seas\\南海.map": ("海域资源 " * 40000).encode("utf-8"),
        "data\\seas\\atlantic.map": b"atlantic " * 100000,
        "data\\textures.pak": rnd.randbytes(6 * 1024 * 1024),
        "config\\settings.json": b'{"quality": "high", "volume": 7}',
    }
    for name, data in files.items():
        path = os.path.join(folder, *name.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    return len(files)


def main():
    shots = os.path.join(ls.BUILD_DIR, "demo-screenshots")
    shutil.rmtree(shots, ignore_errors=True)
    os.makedirs(shots)
    game = os.path.join(ls.BUILD_DIR, "demo-content", "game")
    count = sample_game(game)
    url = ls.pack("slow/demo", game, folders=2)
    ls.set_server("ok", url)
    root = ls.set_game_root("demo")
    record = root + "game_start.txt"
    print("demo: CDN list at %s (%d files), game root %s" % (url, count, root))

    launcher = ls.Launcher(env={"DREL_STUB_RECORD": record})
    try:
        if launcher.wait_for("state 9", 120):
            time.sleep(1.5)
            print("demo: screenshot during the download:", ls.screenshot(os.path.join(shots, "downloading.png")))
        lines = ls.read_record(ls.unix_path(record), 300)
        ls.screenshot(os.path.join(shots, "end.png"))
        code = launcher.wait_exit(30)
    finally:
        launcher.kill()
    print("demo: launcher trace:")
    for line in launcher.lines:
        print("   ", line)
    if not lines:
        print("demo: the game was not started")
        return 1
    print("demo: the launcher ended with exit code %s" % code)
    print("demo: the game was started as:\n    %s\n  in %s" % (lines[0], lines[1]))
    print("demo: screenshots in", shots)
    return 0


if __name__ == "__main__":
    sys.exit(main())
