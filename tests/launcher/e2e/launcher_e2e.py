#!/usr/bin/python3
"""End-to-end tests: the real launcher under Wine and Xvfb against nginx as the
CDN and the launcher-server stub, through to the stub game's start."""
import hashlib
import os
import random
import shutil
import socket
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "..", "tools", "demo"))
import launcher_session as ls  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "..", "tools", "packer"))
import tqpack  # noqa: E402

CONTENT = os.path.join(ls.BUILD_DIR, "e2e-content")
SHOTS = os.path.join(ls.BUILD_DIR, "screenshots")
LOGIN_DATA = "YXV0aF9rZXk9LHVpZD0sZXh0cmFJbmZvPQ=="  # auth_key=,uid=,extraInfo=


def make_game(case, files):
    """A game folder with the stub game as drel_game.exe plus the given files."""
    folder = os.path.join(CONTENT, case, "game")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    shutil.copy(os.path.join(ls.BUILD_DIR, "bin", "drel_game.exe"), os.path.join(folder, "drel_game.exe"))
    for name, data in files.items():
        path = os.path.join(folder, *name.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    return folder


def tree(folder):
    out = {}
    for base, _, names in os.walk(folder):
        for n in names:
            path = os.path.join(base, n)
            with open(path, "rb") as f:
                out[os.path.relpath(path, folder).replace(os.sep, "\\")] = f.read()
    return out


def resource_hash(root):
    """What the launcher passes as RESOURCE_HASH: MD5 of the md5 column of
    version.txt, ordered by name in UTF-16 code units."""
    with open(ls.unix_path(root + "version.txt"), encoding="utf-8-sig") as f:
        entries = [line.split("=") for line in f.read().splitlines() if line.strip()]
    entries.sort(key=lambda e: e[0].encode("utf-16-be"))
    return hashlib.md5("".join(e[1] for e in entries).encode("cp936")).hexdigest().upper()


ACCESS_LOG = os.path.join(ls.BUILD_DIR, "nginx", "logs", "access.log")


def access_log_mark():
    return os.path.getsize(ACCESS_LOG)


def fetched_since(mark):
    """The nginx access-log lines written since access_log_mark gave mark."""
    with open(ACCESS_LOG, "rb") as f:
        f.seek(mark)
        return f.read().decode()


def log_lines():
    with open(os.path.join(ls.data_folder(), "DRELLog.txt"), "rb") as f:
        return f.read().decode("cp936").split("\r\n")[:-1]


class UpdateToGameStart(unittest.TestCase):
    """First install, a run with nothing to do, then an incremental update."""

    @classmethod
    def setUpClass(cls):
        os.makedirs(SHOTS, exist_ok=True)
        rnd = random.Random(7)
        cls.files = {
            "data\\ships\\cruiser.bin": rnd.randbytes(200000),
            "data\\海域\\南海.txt": "南海资源\r\n".encode("utf-8") * 1000,
            "empty.dat": b"",
            "config\\settings.json": b'{"volume": 7}',
            # Enough to watch the bar move: the slow CDN path trickles it.
            "data\\big.pak": rnd.randbytes(8 * 1024 * 1024),
        }
        cls.game_dir = make_game("update", cls.files)
        cls.root = ls.set_game_root("update")

    def run_to_game(self, url, record_name, shot=None):
        ls.set_server("ok", url)
        record = self.root + record_name
        launcher = ls.Launcher(env={"DREL_STUB_RECORD": record})
        try:
            if shot:
                self.assertIsNotNone(launcher.wait_for("state 9", 120), launcher.lines)
                time.sleep(1.5)  # the slow CDN path keeps the download going meanwhile
                ls.screenshot(os.path.join(SHOTS, shot))
            lines = ls.read_record(ls.unix_path(record), 180)
            self.assertIsNotNone(lines, launcher.lines)
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
        return lines

    def test_1_first_install(self):
        url = ls.pack("slow/update", self.game_dir)
        requests_before = len(ls.server_requests())
        cmd, folder = self.run_to_game(url, "first.txt", shot="mid-download.png")

        installed = tree(ls.unix_path(self.root + "game"))
        for name, data in self.files.items():
            self.assertEqual(data, installed.get(name), name)
        body = ls.server_requests()[requests_before].decode()
        device = body.split('"deviceID":"')[1].split('"')[0]
        self.assertRegex(device, r"^[0-9A-F]{32}$")
        expected = (self.root + "game\\drel_game.exe ENTRANCE=C:/drel-bin/talmodrel.exe DEVICE_ID=" + device +
                    " RESOURCE_HASH=" + resource_hash(self.root) + " LOGIN_DATA=" + LOGIN_DATA)
        self.assertEqual(expected, cmd)
        self.assertEqual(self.root + "game", folder)
        lines = log_lines()
        self.assertEqual(3, len(lines), lines)
        self.assertTrue(lines[0].endswith("] 1121"))
        self.assertTrue(lines[1].endswith("] CMainForegroundDialog::OpenGame"))
        self.assertTrue(lines[2].endswith("] " + expected.split(" ", 1)[1]))

    def test_2_nothing_to_download(self):
        url = ls.pack("slow/update", self.game_dir)
        before = access_log_mark()
        self.run_to_game(url, "second.txt")
        fetched = fetched_since(before)
        self.assertIn("list.txt", fetched)
        self.assertNotIn("tq_game.tqpkg", fetched)

    def test_3_incremental_update(self):
        files = dict(self.files)
        files["config\\settings.json"] = b'{"volume": 9}'
        files["data\\new.bin"] = b"new file"
        del files["empty.dat"]
        game_dir = make_game("update-next", files)
        url = ls.pack("update-next", game_dir)
        self.run_to_game(url, "third.txt")
        installed = tree(ls.unix_path(self.root + "game"))
        installed.pop("drel_game.exe")
        files.pop("drel_game.exe", None)
        self.assertEqual(files, {k: v for k, v in installed.items() if k in files or k == "empty.dat"})
        self.assertNotIn("empty.dat", installed)


FAST = {"DREL_TEST_RETRY_PAUSE_MS": "50"}  # the 5 s pause between attempts, shortened


class FailuresAndRetries(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        os.makedirs(SHOTS, exist_ok=True)
        cls.game_dir = make_game("small", {"data\\a.bin": b"a" * 5000})

    def test_notice_failures_offer_retry(self):
        """404s, an answer that is not JSON and one without a "pkg" entry each
        show their box; "重试" sends a new request, and the last one succeeds."""
        url = ls.pack("small", self.game_dir)
        root = ls.set_game_root("notice")
        record = root + "record.txt"
        ls.set_server("404")
        before = len(ls.server_requests())
        launcher = ls.Launcher(env=dict(FAST, DREL_STUB_RECORD=record))
        try:
            # Each box is answered only after the server has been told its next answer.
            steps = [("无法完成游戏资源更新，请求失败!", "garbage"), ("无法完成游戏资源更新，解析失败!", "empty"),
                     ("无法完成游戏资源更新，未配置更新地址!", "ok")]
            for i, (text, next_mode) in enumerate(steps):
                spots = ls.wait_box(launcher, text)
                self.assertIsNotNone(spots, launcher.lines)
                if i == 0:
                    self.assertEqual(5, len(ls.server_requests()) - before)  # five attempts
                    # The failed request says why under the box's text.
                    box = launcher.wait_for("launcher: message box: " + text, 1)
                    self.assertEqual(text + "\\n原因：服务器返回 HTTP 404", box.split(": ", 2)[2])
                    ls.screenshot(os.path.join(SHOTS, "failure-box.png"))
                ls.set_server(next_mode, url)
                self.assertTrue(ls.press(launcher, spots[1]), launcher.lines)  # "重试"
            self.assertIsNotNone(ls.read_record(ls.unix_path(record)), launcher.lines)
            self.assertEqual(0, launcher.wait_exit(30))
            self.assertEqual(8, len(ls.server_requests()) - before)
        finally:
            launcher.kill()

    def test_hostile_notice_answers_show_their_boxes(self):
        """An answer nested too deep and one larger than any answer may be: each
        is a failure with its box, and the launcher lives on to quit cleanly."""
        root = ls.set_game_root("hostile-notice")
        ls.set_server("deep")
        before = len(ls.server_requests())
        launcher = ls.Launcher(env=dict(FAST, DREL_STUB_RECORD=root + "record.txt"))
        try:
            spots = ls.wait_box(launcher, "无法完成游戏资源更新，解析失败!")
            self.assertIsNotNone(spots, launcher.lines)
            ls.set_server("huge", "http://127.0.0.1:1/unused/list.txt")
            self.assertTrue(ls.press(launcher, spots[1]), launcher.lines)  # "重试"
            self.assertTrue(ls.answer_box(launcher, "无法完成游戏资源更新，请求失败!", 2), launcher.lines)  # "退出"
            self.assertEqual(0, launcher.wait_exit(30))
            self.assertEqual(1 + 5, len(ls.server_requests()) - before)  # the large answer was asked for 5 times
        finally:
            launcher.kill()

    def test_missing_package_fails_the_batch(self):
        url = ls.pack("pkg404", self.game_dir)
        os.remove(os.path.join(ls.DRIVE_C, "cdn", "pkg404", "res1", "tq_game.tqpkg"))
        ls.set_server("ok", url)
        root = ls.set_game_root("pkg404")
        launcher = ls.Launcher(env=dict(FAST, DREL_STUB_RECORD=root + "record.txt"))
        try:
            self.assertTrue(ls.answer_box(launcher, "加载服务器资源失败!", 2), launcher.lines)  # "退出"
            self.assertEqual(0, launcher.wait_exit(30))
            self.assertFalse(os.path.exists(ls.unix_path(root + "record.txt")))
        finally:
            launcher.kill()

    def test_failed_batch_ends_while_another_package_drips(self):
        """One package is missing while the other's server sends a byte a second:
        the failure box comes with the missing package's last attempt, not after
        the drip (which would take days)."""
        rnd = random.Random(5)
        game = make_game("drip", {"a\\first.bin": rnd.randbytes(300000), "b\\second.bin": rnd.randbytes(300000)})
        url = ls.pack("drip/pkg", game, folders=2)
        cdn = os.path.join(ls.DRIVE_C, "cdn", "drip", "pkg")
        with open(os.path.join(cdn, "conf", "list.txt"), encoding="utf-8") as f:
            folder = next(line.split("=")[2] for line in f.read().splitlines() if line.startswith("a\\first.bin="))
        os.remove(os.path.join(cdn, folder, "tq_game.tqpkg"))
        ls.set_server("ok", url)
        root = ls.set_game_root("drip")
        launcher = ls.Launcher(env=dict(FAST, DREL_STUB_RECORD=root + "record.txt"))
        try:
            # The guard is far below the drip, and below one stall window per attempt.
            self.assertTrue(ls.answer_box(launcher, "加载服务器资源失败!", 2, timeout=50), launcher.lines)  # "退出"
            self.assertEqual(0, launcher.wait_exit(30))
            self.assertFalse(os.path.exists(ls.unix_path(root + "record.txt")))
        finally:
            launcher.kill()

    def test_launcher_update_restarts_through_the_entrance(self):
        launcher_dir = os.path.join(CONTENT, "launcher-files")
        shutil.rmtree(launcher_dir, ignore_errors=True)
        os.makedirs(launcher_dir)
        new_launcher = b"MZ a newer launcher" * 100
        with open(os.path.join(launcher_dir, "talmodrel.exe"), "wb") as f:
            f.write(new_launcher)
        url = ls.pack("selfupdate", self.game_dir, launcher_dir)
        ls.set_server("ok", url)
        root = ls.set_game_root("selfupdate")
        record = root + "entrance.txt"
        launcher = ls.Launcher(["ENTRANCE=C:/drel-bin/drel_entrance.exe"], env=dict(FAST, DREL_STUB_RECORD=record))
        try:
            self.assertTrue(ls.answer_box(launcher, "Launcher更新完成,准备重启Launcher!", 1), launcher.lines)
            lines = ls.read_record(ls.unix_path(record))
            self.assertIsNotNone(lines, launcher.lines)
            self.assertEqual(r"C:\drel-bin\drel_entrance.exe LAUNCHER_REBOOT=TRUE", lines[0])
            self.assertEqual(r"C:\drel-bin", lines[1])
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
        with open(ls.unix_path(root + "launcher.tmp"), "rb") as f:
            staged = f.read()
        self.assertEqual(1, staged[0])  # complete
        name = b"talmodrel.exe"
        self.assertEqual(len(name).to_bytes(4, "little") + name + len(new_launcher).to_bytes(4, "little") +
                         new_launcher, staged[1:1 + 8 + len(name) + len(new_launcher)])

    def test_second_instance_leaves_silently(self):
        ls.set_server("404")
        root = ls.set_game_root("twice")
        first = ls.Launcher()  # waits between attempts with the product's 5 s pause
        second = None
        try:
            self.assertIsNotNone(first.wait_for("launcher: showing the window", 60))
            second = ls.Launcher()
            self.assertEqual(0, second.wait_exit(60))
            self.assertIsNotNone(second.wait_for("launcher: another instance runs", 5), second.lines)
            self.assertIsNone(first.proc.poll())  # the first keeps running
        finally:
            first.kill()
            if second:
                second.kill()

    def test_close_asks_and_quit_saves_the_list(self):
        rnd = random.Random(3)
        game = make_game("closing", {"data\\small.bin": b"s" * 1000,
                                     "data\\zz-large.bin": rnd.randbytes(40 << 20)})
        # Whole members: the game executable's segment is then its own (in chunks, the
        # large file's last requests would reach it).
        url = ls.pack("slow/closing", game, extra=["--no-chunks"])
        ls.set_server("ok", url)
        root = ls.set_game_root("closing")
        launcher = ls.Launcher(env={"DREL_STUB_RECORD": root + "record.txt"})
        try:
            self.assertIsNotNone(launcher.wait_for("launcher: state 9", 60), launcher.lines)
            time.sleep(1)
            x, y = ls.close_button_position()
            ls.click(x, y)
            # The waiting tip box: "退出" is its first button.
            self.assertTrue(ls.answer_box(launcher, "", 1), launcher.lines)
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
        self.assertFalse(os.path.exists(ls.unix_path(root + "record.txt")))
        with open(ls.unix_path(root + "version.txt"), encoding="utf-8") as f:
            listed = f.read()
        # What had arrived is kept: the game executable, fetched in a segment of
        # its own; the large file's segment (with the small file before it) was cut.
        self.assertIn("drel_game.exe=", listed)
        self.assertNotIn("zz-large.bin", listed)
        # The large file was being written under its own name when the window
        # closed: none of its unverified bytes are left there.
        assert_only_verified_files(self, ls.unix_path(root + "game"), tree(game))


def version_entries(root):
    """version.txt as {name: md5}; empty while there is none."""
    try:
        with open(ls.unix_path(root + "version.txt"), "rb") as f:
            text = f.read().decode("utf-8")
    except FileNotFoundError:
        return {}
    return dict(line.split("=", 1) for line in text.split("\r\n") if "=" in line)


def assert_only_verified_files(test, game, sources):
    """Every file below game holds the bytes of its source: a launcher that
    quit or was killed left nothing unverified under a real name, and no
    temporary file. The wineserver deletes a dead process's files marked for
    deletion when it has closed their handles, a moment after the process
    is gone: waits for that, ten seconds at most."""
    def rebuilt_from_chunks(name):
        # A file rebuilt from chunks keeps its temporary file: it holds only
        # chunks whose SHA-256 matched, and the next run starts from them.
        # Only files large enough to be packed in chunks have one.
        source = sources.get(name[:-len(".drelpart")]) if name.endswith(".drelpart") else None
        return source is not None and len(source) >= CHUNKED_FROM

    def unverified():
        try:
            return sorted(name for name, data in tree(game).items()
                          if sources.get(name) != data and not rebuilt_from_chunks(name))
        except FileNotFoundError as gone:  # deleted while being read
            return [str(gone)]
    deadline = time.time() + 10
    while unverified() and time.time() < deadline:
        time.sleep(0.1)
    test.assertEqual([], unverified())


def list_rows(cdn_case):
    """The CDN list of C:\\cdn\\<cdn_case>\\ as {name: its columns}."""
    with open(os.path.join(ls.DRIVE_C, "cdn", cdn_case, "conf", "list.txt"), "rb") as f:
        return {row[0]: row for row in (line.split("=") for line in f.read().decode("utf-8").split("\r\n") if line)}


def list_sizes(cdn_case):
    """Each entry's packed size in the CDN list of C:\\cdn\\<cdn_case>\\."""
    return {name: int(row[4]) for name, row in list_rows(cdn_case).items()}


def assert_progress_counts_each_byte_once(test, launcher):
    """Every download figure the window was given (one batch) is at most its
    total and never below the one before, and the last one is the total."""
    figures = [tuple(int(v) for v in line.rsplit(" ", 1)[1].split("/")) for line in launcher.lines
               if "launcher: download progress " in line]
    test.assertTrue(figures, launcher.lines)
    previous = 0
    for done, total in figures:
        test.assertLessEqual(done, total)
        test.assertGreaterEqual(done, previous)
        previous = done
    test.assertEqual(figures[-1][1], figures[-1][0])


def run_to_game(test, record, args=(), env=None, timeout=180):
    """Runs the launcher through to the stub game's start, which writes record; gives the launcher."""
    launcher = ls.Launcher(list(args), env=dict(env or {}, DREL_STUB_RECORD=record))
    try:
        test.assertIsNotNone(ls.read_record(ls.unix_path(record), timeout), launcher.lines)
        test.assertEqual(0, launcher.wait_exit(30))
    finally:
        launcher.kill()
    return launcher


def chunked_content(seed, size):
    """Bytes like a game's data files: compressible, and cut into many chunks."""
    rnd = random.Random(seed)
    words = [rnd.randbytes(rnd.randrange(3, 12)) for _ in range(400)]
    out = bytearray()
    while len(out) < size:
        out += rnd.choice(words)
    return bytes(out[:size])


def edited(data, seed, edits=12, insertions=2, deletions=1):
    """A later release of data: a few scattered bytes changed, some inserted, some cut."""
    rnd = random.Random(seed)
    out = bytearray(data)
    for _ in range(edits):
        at = rnd.randrange(len(out) - 4)
        out[at:at + 3] = bytes(b ^ 0x5A for b in out[at:at + 3])
    for _ in range(insertions):
        at = rnd.randrange(len(out))
        out[at:at] = rnd.randbytes(300)
    for _ in range(deletions):
        at = rnd.randrange(len(out) - 5000)
        del out[at:at + 2000]
    return bytes(out)


def content_index(cdn_case):
    """The packer's content index of a CDN: {name: (sha256, [(offset, length, member offset, member length, sha256)])}."""
    with open(os.path.join(ls.DRIVE_C, "cdn", cdn_case, "conf", "list.txt.index"), "rb") as f:
        lines = f.read().decode("utf-8").split("\n")[2:-1]
    index, name = {}, None
    for line in lines:
        fields = line.split(" ", 3)
        if fields[0] == "file":
            name = fields[3]
            index[name] = (fields[1], [])
        else:
            index[name][1].append(tuple(int(v) for v in line.split(" ")[1:5]) + (line.split(" ")[5],))
    return index


def chunk_task_bytes(chunks, wanted):
    """What fetching the chunks in wanted (indexes) costs: each chunk's member bytes,
    the first one with the gzip header before it."""
    return sum(chunks[i][3] + (chunks[i][2] if i == 0 else 0) for i in wanted)


# Files from this size on are packed in chunks.
CHUNKED_FROM = tqpack.CHUNK_THRESHOLD


def package_bytes_served(mark):
    """Body bytes nginx sent for package requests since access_log_mark gave mark."""
    # combined format: ... "GET /path HTTP/1.1" status bytes "referer" "agent"
    return sum(int(line.split('"')[2].split()[1]) for line in fetched_since(mark).splitlines()
               if "tq_game.tqpkg" in line)


def complete_files(game, sources, at):
    """{name: seconds from its last write to at} of every file below game that
    holds its source's bytes. A file the wineserver deletes meanwhile (one still
    marked for deletion when the launcher died) is none."""
    out = {}
    for name, data in sources.items():
        path = os.path.join(game, *name.split("\\"))
        try:
            written = os.path.getmtime(path)
            with open(path, "rb") as f:
                whole = f.read() == data
        except FileNotFoundError:
            continue
        if whole:
            out[name] = at - written
    return out


class KilledMidDownload(unittest.TestCase):
    def killed_then_resumed(self, case, files, listed_enough, cdn="slow"):
        """Installs files from a trickling CDN path, kills the launcher once
        listed_enough(version.txt's entries) holds, checks what was kept (every
        file whole on the disk for more than 2 s is named) and that the next run
        fetches no more than what version.txt did not name. Gives what was kept,
        what the next run was served, and the packed sizes."""
        game_dir = make_game(case, files)
        files = tree(game_dir)
        url = ls.pack(cdn + "/" + case, game_dir)  # trickles, so the kill lands half-way
        sizes = list_sizes(cdn + "/" + case)
        ls.set_server("ok", url)
        root = ls.set_game_root(case)
        record = root + "record.txt"

        launcher = ls.Launcher(env={"DREL_STUB_RECORD": record})
        try:
            deadline = time.time() + 120
            while not listed_enough(version_entries(root)) and time.time() < deadline:
                time.sleep(0.05)
        finally:
            killed_at = time.time()
            launcher.kill()  # as from the task manager: no chance to save anything
        kept = version_entries(root)
        # A file is named within about a second of its last byte, whatever its
        # request is still doing: one whole on the disk 2 s before the kill must be named.
        whole = complete_files(ls.unix_path(root + "game"), files, killed_at)
        self.assertEqual([], sorted(name for name, age in whole.items() if age > 2.0 and name not in kept))
        self.assertTrue(listed_enough(kept), (kept.keys(), launcher.lines))
        assert_only_verified_files(self, ls.unix_path(root + "game"), files)
        self.assertLess(len(kept), len(files), "the download ended before the kill")
        self.assertFalse(os.path.exists(ls.unix_path(record)))
        game = ls.unix_path(root + "game")
        for name, md5 in kept.items():  # only verified files are listed
            with open(os.path.join(game, *name.split("\\")), "rb") as f:
                self.assertEqual(md5, hashlib.md5(f.read()).hexdigest().upper(), name)

        before = access_log_mark()
        run_to_game(self, record)
        served = package_bytes_served(before)
        self.assertLessEqual(served, sum(sizes.values()) - sum(sizes[name] for name in kept))
        self.assertEqual(files, tree(game))  # byte-identical, and no temporary file left
        self.assertEqual(set(files), set(version_entries(root)))
        return kept, served, sizes

    def test_the_next_run_fetches_only_what_is_missing(self):
        rnd = random.Random(11)
        files = {f"data\\part{i:02d}.bin": rnd.randbytes(400 * 1024) for i in range(60)}
        self.killed_then_resumed("killed", files, lambda listed: len(listed) >= 3)

    def test_small_files_are_kept_while_long_ones_still_arrive(self):
        # The small files complete in a segment of their own while three long
        # files are still arriving: version.txt names them all by the clock, no
        # further file completing, and the next run fetches only the long ones.
        rnd = random.Random(12)
        small = {f"data\\s{i:02d}.bin": rnd.randbytes(20 * 1024) for i in range(40)}
        long_files = {f"video\\v{i}.bin": rnd.randbytes(9 << 20) for i in range(3)}
        kept, served, sizes = self.killed_then_resumed("killed-long", dict(small, **long_files),
                                        lambda listed: set(small) <= set(listed))
        self.assertFalse(set(long_files) & set(kept))
        # The long files are packed in chunks: what had arrived of them is kept
        # and not fetched again.
        self.assertLess(served, sum(sizes[name] for name in long_files))

    def test_files_are_named_as_they_arrive_within_long_ranges(self):
        # Ranges of twenty touching small files and three long files, each
        # request served at 2 MiB/s: killed while ranges are under way, after
        # the first of them has ended.
        rnd = random.Random(13)
        small = {f"data\\s{i:02d}.bin": rnd.randbytes(512 * 1024) for i in range(60)}
        long_files = {f"video\\v{i}.bin": rnd.randbytes(9 << 20) for i in range(3)}
        kept, _, _ = self.killed_then_resumed("killed-ranges", dict(small, **long_files),
                                              lambda listed: len(listed) >= 24, cdn="rate2")
        self.assertLess(len(set(kept) & set(small)), len(small), "every small file had arrived")


class ChunkedUpdates(unittest.TestCase):
    """Large files packed in chunks: an update fetches only the chunks that
    changed, a repair only the damaged one."""

    @classmethod
    def setUpClass(cls):
        cls.v1 = {"data\\sea.pak": chunked_content(21, 6 * 1024 * 1024), "data\\small.txt": b"small one"}
        cls.v2 = dict(cls.v1, **{"data\\sea.pak": edited(cls.v1["data\\sea.pak"], 22), "data\\small.txt": b"small two"})

    def run_to_game(self, root, record_name, args=(), env=None):
        return run_to_game(self, root + record_name, args, dict(FAST, **(env or {})))

    def install(self, case, files, extra=()):
        game_dir = make_game(case, files)
        url = ls.pack(case, game_dir, extra=extra)
        ls.set_server("ok", url)
        return tree(game_dir)

    def test_an_update_fetches_only_the_chunks_that_changed(self):
        root = ls.set_game_root("chunks")
        first = self.install("chunks", self.v1)
        old_index = content_index("chunks")
        self.run_to_game(root, "first.txt")
        self.assertEqual(first, tree(ls.unix_path(root + "game")))

        second = self.install("chunks", self.v2)
        index = content_index("chunks")
        _, chunks = index["data\\sea.pak"]
        had = {c[4] for c in old_index["data\\sea.pak"][1]}
        missing = [i for i, c in enumerate(chunks) if c[4] not in had]
        self.assertLess(len(missing), len(chunks) // 2)
        sizes = list_sizes("chunks")
        before = access_log_mark()
        # Cutting and hashing the installed file shows as a check of the game
        # files once it takes long (here at once), before the download's size.
        launcher = self.run_to_game(root, "second.txt", env={"DREL_TEST_CHECK_PROGRESS_AFTER_MS": "0"})
        checked, sized = launcher.time_of("launcher: check progress"), launcher.time_of("launcher: state 7")
        self.assertIsNotNone(checked, launcher.lines)
        self.assertLessEqual(checked, sized)
        self.assertEqual(second, tree(ls.unix_path(root + "game")))  # byte-identical, no temporary file left
        self.assertEqual(chunk_task_bytes(chunks, missing) + sizes["data\\small.txt"], package_bytes_served(before))

        # Two bytes damaged in the middle of one chunk: a repair fetches that chunk alone.
        k = len(chunks) // 2
        with open(os.path.join(ls.unix_path(root + "game"), "data", "sea.pak"), "r+b") as f:
            f.seek(chunks[k][0] + chunks[k][1] // 2)
            f.write(b"\0\0")
        before = access_log_mark()
        self.run_to_game(root, "repaired.txt", ["REPAIR=TRUE"])
        self.assertEqual(chunk_task_bytes(chunks, [k]), package_bytes_served(before))
        self.assertEqual(second, tree(ls.unix_path(root + "game")))

    def test_without_the_index_chunked_members_install_whole(self):
        # What a launcher that knows nothing of chunks does: the members are gzip as ever.
        root = ls.set_game_root("chunks-whole")
        files = self.install("chunks-whole", self.v1)
        os.remove(os.path.join(ls.DRIVE_C, "cdn", "chunks-whole", "conf", "list.txt.index"))
        total = sum(list_sizes("chunks-whole").values())
        before = access_log_mark()
        launcher = self.run_to_game(root, "record.txt")
        self.assertEqual(files, tree(ls.unix_path(root + "game")))
        self.assertEqual(total, package_bytes_served(before))
        self.assertIsNotNone(launcher.wait_for("没有资源索引", 1), launcher.lines)

    def test_a_chunk_that_fails_twice_makes_the_file_come_whole(self):
        root = ls.set_game_root("chunks-lie")
        self.install("chunks-lie", self.v1)
        old_hashes = {c[4] for c in content_index("chunks-lie")["data\\sea.pak"][1]}
        self.run_to_game(root, "first.txt")
        second = self.install("chunks-lie", self.v2)
        _, chunks = content_index("chunks-lie")["data\\sea.pak"]
        k = next(i for i, c in enumerate(chunks) if c[4] not in old_hashes)
        # The index (unsigned here) names a digest no bytes have for one chunk.
        index_path = os.path.join(ls.DRIVE_C, "cdn", "chunks-lie", "conf", "list.txt.index")
        with open(index_path, "rb") as f:
            text = f.read().decode("utf-8")
        with open(index_path, "wb") as f:
            f.write(text.replace(" " + chunks[k][4] + "\n", " " + "0" * 64 + "\n").encode("utf-8"))
        size = list_sizes("chunks-lie")["data\\sea.pak"]
        before = access_log_mark()
        launcher = self.run_to_game(root, "second.txt")
        self.assertIsNotNone(launcher.wait_for("分块下载失败,下载整个文件", 1), launcher.lines)
        self.assertEqual(second, tree(ls.unix_path(root + "game")))
        served = package_bytes_served(before)
        self.assertGreaterEqual(served, size)  # the whole member came, after the chunk's two tries
        self.assertLess(served, size + chunk_task_bytes(chunks, range(len(chunks))))

    def test_a_chunk_damaged_on_the_way_is_never_taken(self):
        root = ls.set_game_root("chunks-bad")
        self.install("chunks-bad", self.v1)
        old_hashes = {c[4] for c in content_index("chunks-bad")["data\\sea.pak"][1]}
        self.run_to_game(root, "first.txt")
        self.install("chunks-bad", self.v2)
        _, chunks = content_index("chunks-bad")["data\\sea.pak"]
        k = next(i for i, c in enumerate(chunks) if c[4] not in old_hashes and i > 0)
        row = list_rows("chunks-bad")["data\\sea.pak"]
        package = os.path.join(ls.DRIVE_C, "cdn", "chunks-bad", row[2], "tq_game.tqpkg")
        with open(package, "r+b") as f:
            f.seek(int(row[3]) + chunks[k][2] + chunks[k][3] // 2)
            byte = f.read(1)
            f.seek(-1, os.SEEK_CUR)
            f.write(bytes([byte[0] ^ 0x10]))
        launcher = ls.Launcher(env=dict(FAST, DREL_STUB_RECORD=root + "record.txt"))
        try:
            # The chunk fails its check, and so does the whole member fetched instead.
            self.assertTrue(ls.answer_box(launcher, "加载服务器资源失败!", 2, timeout=120), launcher.lines)
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
        self.assertIsNotNone(launcher.wait_for("分块下载失败,下载整个文件", 1), launcher.lines)
        game = ls.unix_path(root + "game")
        with open(os.path.join(game, "data", "sea.pak"), "rb") as f:
            self.assertEqual(self.v1["data\\sea.pak"], f.read())  # the installed file stays as it was
        self.assertFalse(os.path.exists(ls.unix_path(root + "record.txt")))


RANGES_LOG = os.path.join(ls.BUILD_DIR, "nginx", "logs", "ranges.log")


def ranges_mark():
    return os.path.getsize(RANGES_LOG)


def package_ranges_since(mark):
    """(start time, first byte, bytes sent) of every package request nginx
    logged since ranges_mark gave mark."""
    with open(RANGES_LOG, "rb") as f:
        f.seek(mark)
        text = f.read().decode()
    out = []
    for line in text.splitlines():
        end, took, _status, sent, rng, uri = line.split(" ", 5)
        if not uri.endswith("tq_game.tqpkg"):
            continue
        first = int(rng.strip('"').split("=")[1].split("-")[0]) if rng != '"-"' else 0
        out.append((float(end) - float(took), first, int(sent)))
    return out


def choose_from_menu(launcher, keys):
    """Right-clicks the main window and picks an entry with the keyboard, as a
    player using the menu without the mouse would."""
    def shown():
        return sum("launcher: menu shown" in line for line in launcher.lines)
    before = shown()
    left, top = ls.close_button_position()[0] - 200 - 770, ls.close_button_position()[1] - 121
    subprocess.run(["xdotool", "mousemove", str(left + 350), str(top + 200), "click", "3"], check=True)
    deadline = time.time() + 30
    while shown() == before and time.time() < deadline:
        launcher.wait_for("\0", 0.2)
    time.sleep(0.3)  # let the menu open and paint
    subprocess.run(["xdotool", "key", "--delay", "150"] + keys, check=True)


class PauseAndSpeedLimit(unittest.TestCase):
    def start_case(self, case, seed, count, limit_mb):
        """Packs count random files of 400 KiB, saves the limit, points the
        launcher at the case and gives the files, each listed file's (offset,
        size) in its package, the game root and the settings file."""
        rnd = random.Random(seed)
        files = tree(make_game(case, {f"data\\{case}{i:02d}.bin": rnd.randbytes(400 * 1024) for i in range(count)}))
        ls.set_server("ok", ls.pack(case, os.path.join(CONTENT, case, "game")))
        rows = {name: (int(row[3]), int(row[4])) for name, row in list_rows(case).items()}
        settings = os.path.join(ls.data_folder(), "settings.txt")
        with open(settings, "wb") as f:
            f.write(b"speed_limit_mb=%d\r\n" % limit_mb)
        self.files = files
        return files, rows, ls.set_game_root(case), settings

    def pause_once_listed(self, launcher, root, count):
        """Pauses through the menu once version.txt names count files; gives
        what it names once the pause has taken effect."""
        deadline = time.time() + 120
        while len(version_entries(root)) < count and time.time() < deadline:
            time.sleep(0.05)
        choose_from_menu(launcher, ["Down", "Down", "Return"])  # 暂停下载
        self.assertIsNotNone(launcher.wait_for("launcher: pause requested", 30), launcher.lines)
        self.assertIsNotNone(launcher.wait_for("launcher: state 20", 30), launcher.lines)
        kept = version_entries(root)
        self.assertLess(len(kept), len(self.files), "the download ended before the pause")
        return kept

    def test_pause_resume_and_a_remembered_limit(self):
        """The saved limit holds from the start; a new one chosen in the menu is
        saved. Paused half-way, nothing more is served and nothing verified is
        lost; resumed, the install ends byte for byte without fetching again
        what had been verified, and the next start keeps the new limit."""
        os.makedirs(SHOTS, exist_ok=True)
        files, rows, root, settings = self.start_case("pause", 21, 60, 1)
        game = ls.unix_path(root + "game")
        record = root + "record.txt"

        launcher = ls.Launcher(env={"DREL_STUB_RECORD": record})
        try:
            self.assertIsNotNone(launcher.wait_for("launcher: speed limit 1", 30), launcher.lines)
            self.assertIsNotNone(launcher.wait_for("launcher: state 9", 120), launcher.lines)
            choose_from_menu(launcher, ["Down", "Down", "Down", "Right", "Down", "Down", "Return"])  # 2 MB/s
            self.assertIsNotNone(launcher.wait_for("launcher: speed limit 2", 30), launcher.lines)
            with open(settings, "rb") as f:
                self.assertEqual(b"speed_limit_mb=2\r\n", f.read())
            kept = self.pause_once_listed(launcher, root, 10)
            paused_at = time.time()  # the pause has stopped every worker (state 20)
            mark = ranges_mark()
            ls.screenshot(os.path.join(SHOTS, "paused.png"))
            assert_only_verified_files(self, game, files)
            self.assertEqual(kept, version_entries(root))
            resumed_mark = ranges_mark()
            resumed_at = time.time()
            choose_from_menu(launcher, ["Down", "Down", "Return"])  # 继续下载
            self.assertIsNotNone(launcher.wait_for("launcher: resume requested", 30), launcher.lines)
            self.assertIsNotNone(ls.read_record(ls.unix_path(record), 180), launcher.lines)
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
        self.assertFalse([line for line in launcher.lines if "launcher: message box" in line])
        # A paused launcher asked for nothing until the resume.
        self.assertEqual([], [r for r in package_ranges_since(mark) if paused_at <= r[0] < resumed_at])
        # The file cut by the pause came again; its bytes counted once.
        assert_progress_counts_each_byte_once(self, launcher)
        self.assertEqual(files, tree(game))  # byte-identical, no temporary file left
        self.assertEqual(set(files), set(version_entries(root)))
        # Resumed, every request starts at a file that had not been kept and
        # none covers a kept one: only the files in progress came twice.
        kept_spans = [(rows[name][0], rows[name][0] + rows[name][1]) for name in kept]
        starts = {offset for name, (offset, _) in rows.items() if name not in kept}
        served = 0
        for _, first, sent in package_ranges_since(resumed_mark):
            self.assertIn(first, starts)
            self.assertFalse([s for s in kept_spans if s[0] < first + sent and first < s[1]], first)
            served += sent
        self.assertLessEqual(served, sum(size for _, size in rows.values()) - sum(e - b for b, e in kept_spans))

        launcher = run_to_game(self, root + "second.txt")
        self.assertIsNotNone(launcher.wait_for("launcher: speed limit 2", 1), launcher.lines)
        os.remove(settings)

    def test_closed_while_paused_the_next_start_goes_on(self):
        """Closing a paused launcher quits as always, keeping what was verified;
        the next start fetches only the rest."""
        files, rows, root, settings = self.start_case("pause-close", 22, 40, 2)
        game = ls.unix_path(root + "game")
        record = root + "record.txt"
        launcher = ls.Launcher(env={"DREL_STUB_RECORD": record})
        try:
            self.assertIsNotNone(launcher.wait_for("launcher: state 9", 120), launcher.lines)
            kept = self.pause_once_listed(launcher, root, 8)
            ls.click(*ls.close_button_position())
            self.assertTrue(ls.answer_box(launcher, "", 1), launcher.lines)  # "退出"
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
        os.remove(settings)
        self.assertEqual(kept, version_entries(root))
        assert_only_verified_files(self, game, files)

        before = access_log_mark()
        run_to_game(self, record)
        self.assertLessEqual(package_bytes_served(before), sum(size for _, size in rows.values()) -
                             sum(rows[name][1] for name in kept))
        self.assertEqual(files, tree(game))


class ContentIndexLimit(unittest.TestCase):
    """The content index only saves bytes: answered with 503, or never answered,
    it costs one request and no more than its limit between the list and the
    download's size, and the update goes on with whole files."""

    def install(self, cdn):
        files = {"data\\sea.pak": chunked_content(41, 3 * 1024 * 1024), "data\\small.txt": b"small"}
        game_dir = make_game("index-" + cdn, files)
        files = tree(game_dir)
        ls.set_server("ok", ls.pack(cdn + "/case", game_dir))
        root = ls.set_game_root("index-" + cdn)
        before = access_log_mark()
        launcher = run_to_game(self, root + "record.txt", env=dict(FAST, DREL_TEST_INDEX_LIMIT_MS="2000"))
        self.assertEqual(files, tree(ls.unix_path(root + "game")))
        self.assertEqual(sum(list_sizes(cdn + "/case").values()), package_bytes_served(before))  # whole files
        self.assertEqual(1, sum("list.txt.index" in line for line in fetched_since(before).splitlines()))
        self.assertIsNotNone(launcher.wait_for("没有资源索引", 1), launcher.lines)
        listed, sized = launcher.time_of("launcher: state 6"), launcher.time_of("launcher: state 7")
        self.assertLess(sized - listed, 5.0)  # the limit (2 s here) and the comparison

    def test_an_index_answered_with_503(self):
        self.install("index503")

    def test_an_index_never_answered(self):
        # nginx hands the request to a listener that takes it and says nothing.
        path = os.path.join(ls.BUILD_DIR, "nginx", "silent.sock")
        if os.path.exists(path):
            os.remove(path)
        silent = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            silent.bind(path)
            os.chmod(path, 0o777)  # nginx's worker is another user
            silent.listen(8)
            self.install("indexsilent")
        finally:
            silent.close()
            os.remove(path)


class FailureCauses(unittest.TestCase):
    """A failed download's box keeps its text as its first line and says why on
    a line of its own, as the error that happened tells it."""

    def cause_line(self, case, files, cdn="", damage=None, env=None):
        """Installs files from C:\\cdn\\<cdn><case> until the failure box, quits
        there, and gives what the box says under its first line."""
        game_dir = make_game(case, files)
        url = ls.pack(cdn + case, game_dir, extra=["--no-chunks"])
        shutil.rmtree(game_dir)  # the sources may be large
        if damage:
            damage(os.path.join(ls.DRIVE_C, "cdn", *(cdn + case).split("/")))
        ls.set_server("ok", url)
        root = ls.set_game_root(case)
        launcher = ls.Launcher(env=dict(FAST, DREL_STUB_RECORD=root + "record.txt", **(env or {})))
        try:
            self.assertTrue(ls.answer_box(launcher, "加载服务器资源失败!", 2, timeout=180), launcher.lines)  # "退出"
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
        self.assertFalse(os.path.exists(ls.unix_path(root + "record.txt")))
        box = launcher.wait_for("launcher: message box: 加载服务器资源失败!", 1)
        self.assertIsNotNone(launcher.wait_for("失败原因\t", 1), launcher.lines)  # the trace names it too
        return box.split("加载服务器资源失败!", 1)[1]

    def test_a_refused_package(self):
        line = self.cause_line("cause-403", {"data\\a.bin": b"a" * 5000}, cdn="forbidden/")
        self.assertRegex(line, r"^\\n原因：服务器返回 HTTP 403，文件 ")

    def test_a_damaged_package(self):
        def flip(cdn):
            row = list_rows(cdn[len(os.path.join(ls.DRIVE_C, "cdn")) + 1:])["data\\a.bin"]
            with open(os.path.join(cdn, row[2], "tq_game.tqpkg"), "r+b") as f:
                f.seek(int(row[3]) + int(row[4]) // 2)
                byte = f.read(1)
                f.seek(-1, os.SEEK_CUR)
                f.write(bytes([byte[0] ^ 0x01]))
        line = self.cause_line("cause-flip", {"data\\a.bin": random.Random(9).randbytes(200000)}, damage=flip)
        self.assertEqual("\\n原因：文件内容校验失败，文件 data\\a.bin", line)

    def test_a_full_drive(self):
        # 300 MiB of zeros pack into a few hundred KiB: the room asked for before
        # the download is there, and the writing stops at the floor of a drive
        # that reports 120 MiB above it (the launcher's default floor: 64 MiB).
        line = self.cause_line("cause-full", {"data\\zeros.bin": bytes(300 << 20)},
                               env={"DREL_TEST_DISK_FREE_MB": str(64 + 120)})
        self.assertEqual("\\n原因：磁盘空间不足，错误代码 112，文件 data\\zeros.bin", line)


class OtherCodePages(unittest.TestCase):
    def test_chinese_names_install_under_code_page_1252(self):
        # A Chinese player abroad, or an English Windows: the list's UTF-8
        # names are read as they are, never through the system's code page.
        rnd = random.Random(13)
        files = {"data\\海域\\南海.map": rnd.randbytes(50000), "语音\\中文提示.ogg": rnd.randbytes(3000),
                 "plain.txt": b"ascii"}
        game_dir = make_game("cp1252", files)
        files = tree(game_dir)
        ls.set_server("ok", ls.pack("cp1252", game_dir))
        root = ls.set_game_root("cp1252")
        record = root + "record.txt"
        launcher = ls.Launcher(env={"DREL_STUB_RECORD": record, "LC_ALL": "en_US.UTF-8", "LANG": "en_US.UTF-8"})
        try:
            self.assertIsNotNone(ls.read_record(ls.unix_path(record), 120), launcher.lines)
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
        self.assertEqual(files, tree(ls.unix_path(root + "game")))  # byte-identical
        self.assertEqual(set(files), set(version_entries(root)))


class Repair(unittest.TestCase):
    def test_repair_fetches_exactly_the_damaged_and_missing_files(self):
        rnd = random.Random(5)
        files = {f"data\\f{i}.bin": rnd.randbytes(30000 + i) for i in range(6)}
        game_dir = make_game("repair", files)
        files = tree(game_dir)
        url = ls.pack("repair", game_dir)
        sizes = list_sizes("repair")
        ls.set_server("ok", url)
        root = ls.set_game_root("repair")
        game = ls.unix_path(root + "game")

        def run(args, record_name):
            return run_to_game(self, root + record_name, args)

        run([], "first.txt")
        self.assertEqual(files, tree(game))
        with open(os.path.join(game, "data", "f1.bin"), "r+b") as f:
            f.seek(1000)
            byte = f.read(1)
            f.seek(1000)
            f.write(bytes([byte[0] ^ 0xFF]))  # one byte changed, size kept
        os.remove(os.path.join(game, "data", "f4.bin"))

        before = access_log_mark()
        launcher = run(["REPAIR=TRUE"], "repaired.txt")
        self.assertIsNotNone(launcher.wait_for("开始校验游戏文件", 1), launcher.lines)
        self.assertEqual(sizes["data\\f1.bin"] + sizes["data\\f4.bin"], package_bytes_served(before))
        self.assertEqual(files, tree(game))


# The launcher's package name: the channel its lists are signed for.
CHANNEL = "com.halvek.drel.pc.talmo"
SIGN = ["--sign-key", ls.LIST_SIGNING_KEY, "--channel", CHANNEL]


class SignedLists(unittest.TestCase):
    """The launcher built with a list-signing key: a signed CDN installs; the same
    CDN with one byte of the list changed is refused before anything is compared,
    deleted or downloaded, and no game starts."""

    def setUp(self):
        # Every case signs for the one channel: the serials an earlier case left
        # in the data folder would count here too (each case's game root is fresh).
        try:
            os.remove(os.path.join(ls.data_folder(), "list_serials.txt"))
        except FileNotFoundError:
            pass

    def run_signed(self, record):
        return ls.Launcher(env=dict(FAST, DREL_STUB_RECORD=record), exe=ls.SIGNED_LAUNCHER)

    def start_fresh(self, case, url, record_name):
        """The signed launcher on an empty game root, told the list's URL; gives the root and the launcher."""
        ls.set_server("ok", url)
        root = ls.set_game_root(case)
        return root, self.run_signed(root + record_name)

    def test_signed_cdn_installs_and_a_changed_list_is_refused(self):
        os.makedirs(SHOTS, exist_ok=True)
        files = {"data\\fleet.bin": b"fleet" * 2000, "data\\old.txt": b"withdrawn in the next version"}
        sign = SIGN
        root, launcher = self.start_fresh("signed", ls.pack("signed", make_game("signed", files), extra=sign),
                                          "first.txt")
        try:
            self.assertIsNotNone(ls.read_record(ls.unix_path(root + "first.txt"), 180), launcher.lines)
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
        self.assertIsNotNone(launcher.wait_for("资源列表校验通过", 1), launcher.lines)
        installed = tree(ls.unix_path(root + "game"))
        for name, data in files.items():
            self.assertEqual(data, installed.get(name), name)

        # The next version, signed, then one byte of its list changed on the way.
        next_files = {"data\\fleet.bin": b"FLEET" * 2000, "data\\new.bin": b"new"}
        ls.pack("signed", make_game("signed-next", next_files), extra=sign)
        list_path = os.path.join(ls.DRIVE_C, "cdn", "signed", "conf", "list.txt")
        with open(list_path, "rb") as f:
            good_list = f.read()
        changed = bytearray(good_list)
        changed[good_list.index(b"=") + 1] ^= 0x01  # a digit of the first MD5
        with open(list_path, "wb") as f:
            f.write(bytes(changed))
        version_before = tree(ls.unix_path(root))
        log_before = access_log_mark()
        launcher = self.run_signed(root + "second.txt")
        try:
            spots = ls.wait_box(launcher, "资源列表校验失败，请重试!")
            self.assertIsNotNone(spots, launcher.lines)
            ls.screenshot(os.path.join(SHOTS, "list-unverified.png"))
            self.assertEqual(version_before, tree(ls.unix_path(root)))  # nothing deleted, nothing written
            self.assertFalse(os.path.exists(ls.unix_path(root + "second.txt")))
            fetched = fetched_since(log_before)
            self.assertIn("/signed/conf/list.txt.sig?r=", fetched)
            self.assertNotIn("tq_game.tqpkg", fetched)
            # The operator's list is back: "重试" runs the update through to the game.
            with open(list_path, "wb") as f:
                f.write(good_list)
            self.assertTrue(ls.press(launcher, spots[1]), launcher.lines)  # "重试"
            self.assertIsNotNone(ls.read_record(ls.unix_path(root + "second.txt"), 180), launcher.lines)
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
        installed = tree(ls.unix_path(root + "game"))
        self.assertEqual(next_files, {k: v for k, v in installed.items() if k != "drel_game.exe"})

    def test_an_index_its_statement_does_not_vouch_for_is_not_used(self):
        v1 = {"data\\sea.pak": chunked_content(31, 3 * 1024 * 1024)}
        v2 = {"data\\sea.pak": edited(v1["data\\sea.pak"], 32)}
        root, launcher = self.start_fresh("signed-index", ls.pack("signed-index", make_game("signed-index", v1),
                                                                  extra=SIGN), "first.txt")
        try:
            self.assertIsNotNone(ls.read_record(ls.unix_path(root + "first.txt"), 180), launcher.lines)
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
        ls.pack("signed-index", make_game("signed-index", v2), extra=SIGN)
        conf = os.path.join(ls.DRIVE_C, "cdn", "signed-index", "conf")
        size = list_sizes("signed-index")["data\\sea.pak"]
        # One chunk's digest changed after signing: the statement no longer vouches for the index.
        with open(os.path.join(conf, "list.txt.index"), "rb") as f:
            index = bytearray(f.read())
        at = index.index(b"\nchunk ") + 1
        at = index.index(b"\n", at) - 1
        index[at] = ord("0") if index[at] != ord("0") else ord("1")
        with open(os.path.join(conf, "list.txt.index"), "wb") as f:
            f.write(bytes(index))
        before = access_log_mark()
        launcher = self.run_signed(root + "second.txt")
        try:
            self.assertIsNotNone(ls.read_record(ls.unix_path(root + "second.txt"), 180), launcher.lines)
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
        self.assertIsNotNone(launcher.wait_for("资源索引校验失败", 1), launcher.lines)
        self.assertEqual(size, package_bytes_served(before))  # fetched whole
        self.assertEqual(v2["data\\sea.pak"], tree(ls.unix_path(root + "game"))["data\\sea.pak"])

    def test_an_older_list_at_another_url_is_refused(self):
        """The launcher server's answer is not signed, so a forged one may name any
        URL: an older signed list elsewhere on the CDN is refused with the box, also
        with the data folder's serials deleted, and no file of the newer list goes."""
        older = {"data\\fleet.bin": b"fleet" * 2000}
        newer = dict(older, **{"data\\only-new.bin": b"brought by the newer list"})
        old_url = ls.pack("rollback/old", make_game("rollback-old", older), extra=SIGN + ["--serial", "1000"])
        new_url = ls.pack("rollback/new", make_game("rollback-new", newer), extra=SIGN + ["--serial", "2000"])
        root, launcher = self.start_fresh("rollback", new_url, "first.txt")
        try:
            self.assertIsNotNone(ls.read_record(ls.unix_path(root + "first.txt"), 180), launcher.lines)
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
        self.assertEqual(newer, {k: v for k, v in tree(ls.unix_path(root + "game")).items() if k != "drel_game.exe"})
        self.assertTrue(os.path.exists(ls.unix_path(root + "list_serials.txt")))

        # The forged answer; only the game root's copy of the serials is left.
        os.remove(os.path.join(ls.data_folder(), "list_serials.txt"))
        ls.set_server("ok", old_url)
        before = tree(ls.unix_path(root))
        log_before = access_log_mark()
        launcher = self.run_signed(root + "second.txt")
        try:
            self.assertTrue(ls.answer_box(launcher, "资源列表校验失败，请重试!", 2), launcher.lines)  # "退出"
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
        self.assertIsNotNone(launcher.wait_for("serial below one accepted before", 1), launcher.lines)
        self.assertEqual(before, tree(ls.unix_path(root)))  # nothing deleted, nothing written
        fetched = fetched_since(log_before)
        self.assertIn("/rollback/old/conf/list.txt.sig?r=", fetched)
        self.assertNotIn("tq_game.tqpkg", fetched)

    def test_a_list_without_its_statement_is_refused(self):
        url = ls.pack("unsigned", make_game("unsigned", {"data\\a.bin": b"a" * 100}))
        root, launcher = self.start_fresh("unsigned", url, "record.txt")
        try:
            self.assertTrue(ls.answer_box(launcher, "资源列表校验失败，请重试!", 2), launcher.lines)  # "退出"
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
        self.assertFalse(os.path.exists(ls.unix_path(root + "record.txt")))
        self.assertFalse(os.path.exists(ls.unix_path(root + "game")))


if __name__ == "__main__":
    unittest.main(verbosity=2)
