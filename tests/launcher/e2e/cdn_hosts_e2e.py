#!/usr/bin/python3
"""End-to-end tests of several CDN hosts: the launcher server names a primary
and a mirror; a host that is dead, silent, stopped, refusing or stale costs a
request once, the other carries the download, and every byte is still checked.
The mirror is nginx under another path (or port); the hosts that misbehave are
made here: a closed port, a listener that never answers, a relay to nginx that
the test stops half-way."""
import os
import random
import shutil
import socket
import threading
import time
import unittest
import urllib.parse

import launcher_e2e as e2e
from launcher_e2e import ls

SWITCH = "更换CDN\t"


def closed_port():
    """A port on 127.0.0.1 where nothing listens: connections are refused."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def on_port(url, port):
    """url with its port replaced."""
    parts = urllib.parse.urlsplit(url)
    return parts._replace(netloc="127.0.0.1:%d" % port).geturl()


def nginx_port():
    return urllib.parse.urlsplit(ls.nginx_base_url()).port


def copy_cdn(case, to_case):
    """Copies C:\\cdn\\<case> to C:\\cdn\\<to_case>; gives to_case's list URL."""
    source = os.path.join(ls.DRIVE_C, "cdn", *case.split("/"))
    target = os.path.join(ls.DRIVE_C, "cdn", *to_case.split("/"))
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(source, target)
    return ls.nginx_base_url() + to_case + "/conf/list.txt"


def switches(launcher):
    """The trace's host switches: (URL asked, reason, code) of each."""
    out = []
    for line in launcher.lines:
        if SWITCH in line:
            fields = line.split(SWITCH, 1)[1].split("\t")
            out.append((fields[0], fields[-2], fields[-1]))
    return out


class LocalHost:
    """A host on a free port of 127.0.0.1 that hands every connection it
    takes to connected() on a thread of its own."""

    def __init__(self):
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return  # closed
            self.connected(conn)


class SilentHost(LocalHost):
    """Takes connections and reads what comes, but never answers."""

    def __init__(self):
        self.accepted = []
        super().__init__()

    def connected(self, conn):
        self.accepted.append(conn)

    def close(self):
        self.listener.close()
        for conn in self.accepted:
            conn.close()


class StoppableRelay(LocalHost):
    """A host in front of nginx that the test can stop: it relays connections
    to nginx's port and counts the bytes it passed to the launcher; once
    stopped, it cuts every connection and refuses new ones."""

    def __init__(self, target_port):
        self.target_port = target_port
        self.relayed = 0
        self.lock = threading.Lock()
        self.sockets = []
        super().__init__()

    def connected(self, client):
        upstream = socket.create_connection(("127.0.0.1", self.target_port))
        with self.lock:
            self.sockets += [client, upstream]
        threading.Thread(target=self._pipe, args=(client, upstream, False), daemon=True).start()
        threading.Thread(target=self._pipe, args=(upstream, client, True), daemon=True).start()

    def _pipe(self, source, target, count):
        try:
            while True:
                data = source.recv(65536)
                if not data:
                    break
                target.sendall(data)
                if count:
                    with self.lock:
                        self.relayed += len(data)
        except OSError:
            pass
        try:
            target.shutdown(socket.SHUT_WR)
        except OSError:
            pass

    def stop(self):
        self.listener.close()
        with self.lock:
            for s in self.sockets:
                try:
                    s.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
                s.close()


class SeveralHosts(unittest.TestCase):
    def release(self, case, files=None, seed=1, cdn="", folders=3):
        """Packs a game of random files into C:\\cdn\\<cdn>hosts\\<case>; gives
        (its list URL, the game's files)."""
        rnd = random.Random(seed)
        files = files or {"data\\f%02d.bin" % i: rnd.randbytes(300000 + i) for i in range(12)}
        game_dir = e2e.make_game(os.path.join("hosts", case), files)
        url = ls.pack(cdn + "hosts/" + case, game_dir, folders=folders, extra=["--no-chunks"])
        return url, e2e.tree(game_dir)

    def install(self, case, urls, files, env=None):
        """Runs the launcher against the hosts urls (the primary last, as the
        server answers) to the game's start; checks the install byte for byte."""
        ls.set_server("ok", urls)
        root = ls.set_game_root("hosts-" + case)
        started = time.time()
        launcher = e2e.run_to_game(self, root + "record.txt", env=dict(e2e.FAST, **(env or {})))
        self.seconds = time.time() - started
        self.assertEqual(files, e2e.tree(ls.unix_path(root + "game")))
        self.assertEqual(set(files), set(e2e.version_entries(root)))
        self.assertIsNone(launcher.wait_for("launcher: message box:", 0), launcher.lines)  # no box on the way
        return launcher

    def test_one_entry_is_one_host_as_before(self):
        url, files = self.release("single")
        launcher = self.install("single", [url], files)
        self.assertEqual([], switches(launcher))
        self.assertIsNone(launcher.wait_for("CDN镜像", 0))
        print("\none host: %.1f s to the game" % self.seconds)

    def test_a_primary_that_refuses_connections(self):
        url, files = self.release("refused")
        mirror = copy_cdn("hosts/refused", "mirror/hosts/refused")
        launcher = self.install("refused", [mirror, on_port(url, closed_port())], files)
        moved = switches(launcher)
        # Once for the list; at most once more per worker that had picked the
        # primary before it was set aside.
        self.assertTrue(moved, launcher.lines)
        self.assertLessEqual(len(moved), 3, moved)
        self.assertTrue(all(reason == "no connection" for _, reason, _ in moved), moved)
        print("\nrefusing primary: %.1f s to the game" % self.seconds)

    def test_a_primary_that_never_answers_costs_one_time_out(self):
        url, files = self.release("silent")
        mirror = copy_cdn("hosts/silent", "mirror/hosts/silent")
        silent = SilentHost()
        try:
            launcher = self.install("silent", [mirror, on_port(url, silent.port)], files)
        finally:
            silent.close()
        moved = switches(launcher)
        self.assertTrue(moved, launcher.lines)
        self.assertTrue(all(reason == "timed out" for _, reason, _ in moved), moved)
        # Set aside after its first silence: later requests never go there.
        self.assertLessEqual(len(silent.accepted), 3)
        self.assertLess(self.seconds, 60)
        print("\nsilent primary: %.1f s to the game, %d connections to it" % (self.seconds, len(silent.accepted)))

    def test_a_primary_stopped_half_way(self):
        # Each request at 2 MiB/s after its first 2 MiB (nginx lets a second's
        # worth go at once), in packages of about 4 MB: the relay is stopped in
        # the middle of its ranges.
        rnd = random.Random(3)
        url, files = self.release("stopped", cdn="rate2/",
                                  files={"data\\f%02d.bin" % i: rnd.randbytes(500000) for i in range(24)})
        mirror = copy_cdn("rate2/hosts/stopped", "rate2/mirror/hosts/stopped")
        content = sum(e2e.list_sizes("rate2/hosts/stopped").values())
        relay = StoppableRelay(nginx_port())
        mark = e2e.access_log_mark()
        ls.set_server("ok", [mirror, on_port(url, relay.port)])
        root = ls.set_game_root("hosts-stopped")
        launcher = ls.Launcher(env=dict(e2e.FAST, DREL_STUB_RECORD=root + "record.txt"))
        try:
            deadline = time.time() + 120
            while relay.relayed < content // 4 and time.time() < deadline:
                time.sleep(0.05)
            relay.stop()
            self.assertIsNotNone(ls.read_record(ls.unix_path(root + "record.txt"), 180), launcher.lines)
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
            relay.stop()
        self.assertEqual(files, e2e.tree(ls.unix_path(root + "game")))
        self.assertTrue(switches(launcher), launcher.lines)
        served = e2e.package_bytes_served(mark)
        # The mirror is asked only for what the stopped host had not delivered whole.
        self.assertLessEqual(served, content * 1.1, (served, content))
        print("\nstopped primary: %d package bytes served for %d (%.3f x)" % (served, content, served / content))

    def test_a_mirror_that_refuses_its_packages(self):
        url, files = self.release("refusing")
        mirror = copy_cdn("hosts/refusing", "forbidden/hosts/refusing")  # nginx answers 403 there
        launcher = self.install("refusing", [mirror, url], files)
        moved = switches(launcher)
        self.assertTrue(moved, launcher.lines)
        self.assertTrue(all("/forbidden/" in asked and reason == "server answer" and code == "403"
                            for asked, reason, code in moved), moved)

    def test_a_stale_mirror_is_set_aside_and_nothing_wrong_is_named(self):
        # The mirror holds the same list, but packages of an older release whose
        # members are valid gzip of other bytes of the same sizes.
        url, files = self.release("stale", seed=1)
        old_url, old_files = self.release("stale-old", seed=2)
        self.assertEqual(e2e.list_sizes("hosts/stale"), e2e.list_sizes("hosts/stale-old"))
        mirror = copy_cdn("hosts/stale-old", "mirror/hosts/stale")
        shutil.copy(os.path.join(ls.DRIVE_C, "cdn", "hosts", "stale", "conf", "list.txt"),
                    os.path.join(ls.DRIVE_C, "cdn", "mirror", "hosts", "stale", "conf", "list.txt"))
        launcher = self.install("stale", [mirror, url], files)
        moved = switches(launcher)
        self.assertTrue(moved, launcher.lines)
        self.assertTrue(all("/mirror/" in asked and reason == "content check failed" for asked, reason, _ in moved),
                        moved)

    def test_a_mirror_of_another_release_without_keys(self):
        url, files = self.release("other")
        other_url, _ = self.release("other-release", files={"data\\x.bin": random.Random(7).randbytes(900000)})
        launcher = self.install("other", [other_url, url], files)
        moved = switches(launcher)
        self.assertTrue(moved, launcher.lines)
        self.assertTrue(all("/other-release/" in asked for asked, _, _ in moved), moved)

    def test_with_keys_a_mirrors_older_list_is_refused(self):
        """A signed list from a mirror is checked as the primary's: after the
        newer release was installed, a mirror holding an older signed release
        (the primary refusing connections, so the list comes from the mirror)
        is refused with the box, and nothing is changed."""
        try:
            os.remove(os.path.join(ls.data_folder(), "list_serials.txt"))
        except FileNotFoundError:
            pass
        rnd = random.Random(11)
        older = {"data\\fleet.bin": rnd.randbytes(20000)}
        newer = dict(older, **{"data\\only-new.bin": rnd.randbytes(3000)})
        old_url = ls.pack("hosts/signed-old", e2e.make_game("hosts-signed-old", older),
                          extra=e2e.SIGN + ["--serial", "1000"])
        new_url = ls.pack("hosts/signed-new", e2e.make_game("hosts-signed-new", newer),
                          extra=e2e.SIGN + ["--serial", "2000"])
        root = ls.set_game_root("hosts-signed")
        ls.set_server("ok", [old_url, new_url])
        launcher = ls.Launcher(env=dict(e2e.FAST, DREL_STUB_RECORD=root + "first.txt"), exe=ls.SIGNED_LAUNCHER)
        try:
            self.assertIsNotNone(ls.read_record(ls.unix_path(root + "first.txt"), 180), launcher.lines)
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()

        before = e2e.tree(ls.unix_path(root))
        ls.set_server("ok", [old_url, on_port(new_url, closed_port())])
        launcher = ls.Launcher(env=dict(e2e.FAST, DREL_STUB_RECORD=root + "second.txt"), exe=ls.SIGNED_LAUNCHER)
        try:
            self.assertTrue(ls.answer_box(launcher, "资源列表校验失败，请重试!", 2), launcher.lines)  # "退出"
            self.assertEqual(0, launcher.wait_exit(30))
        finally:
            launcher.kill()
        self.assertTrue(any(reason == "no connection" for _, reason, _ in switches(launcher)), launcher.lines)
        self.assertIsNotNone(launcher.wait_for("serial below one accepted before", 1), launcher.lines)
        self.assertEqual(before, e2e.tree(ls.unix_path(root)))  # nothing deleted, nothing written


if __name__ == "__main__":
    unittest.main(verbosity=2)
