"""Drives the real launcher under Wine for the end-to-end tests and the demo.

The Wine environment (WINEPREFIX, DISPLAY, LC_ALL...) comes from
tests/wine/wine-env.sh, sourced by the calling script; BUILD_DIR names the build.
"""
import glob
import os
import queue
import shutil
import subprocess
import threading
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD_DIR = os.environ["BUILD_DIR"]
PREFIX = os.environ["WINEPREFIX"]
DRIVE_C = os.path.join(PREFIX, "drive_c")
PACKER = os.path.join(ROOT, "tools", "packer", "tqpack.py")
LAUNCHER = r"C:\drel-bin\talmodrel.exe"
# The same launcher built with the tests' list-signing key (tests/launcher/CMakeLists.txt),
# and the private half of that key, for the packer.
SIGNED_LAUNCHER = r"C:\drel-bin\signed\talmodrel.exe"
LIST_SIGNING_KEY = os.path.join(BUILD_DIR, "test-keys", "list-signing.pem")
WINE_RUN = os.path.join(ROOT, "tests", "wine", "wine-run.sh")


def app_data():
    users = os.path.join(DRIVE_C, "users")
    user = os.environ.get("USER") or "root"
    candidates = [os.path.join(users, user, "AppData", "Roaming")] + \
        glob.glob(os.path.join(users, "*", "AppData", "Roaming"))
    for c in candidates:
        if os.path.isdir(c):
            return c
    raise RuntimeError("no AppData folder in the Wine prefix")


def data_folder():
    return os.path.join(app_data(), "DREL_PC", "Talmo")


def unix_path(windows_path):
    """C:\\a\\b -> PREFIX/drive_c/a/b"""
    assert windows_path[:3].upper() == "C:\\", windows_path
    return os.path.join(DRIVE_C, *[p for p in windows_path[3:].split("\\") if p])


def nginx_base_url():
    with open(os.path.join(BUILD_DIR, "nginx", "url")) as f:
        return f.read().strip()


def pack(case, game_dir, launcher_dir=None, folders=1, extra=()):
    """Packs a CDN for the case into C:\\cdn\\<case>\\ and gives the list's URL."""
    out = os.path.join(DRIVE_C, "cdn", case)
    shutil.rmtree(out, ignore_errors=True)
    args = ["/usr/bin/python3", PACKER, "--game", game_dir, "--out", out, "--folders", str(folders)]
    if launcher_dir:
        args += ["--launcher", launcher_dir]
    subprocess.run(args + list(extra), check=True, stdout=subprocess.DEVNULL)
    return nginx_base_url() + case + "/conf/list.txt"


def set_server(mode, url=""):
    """url: the CDN list URL the answer names, or a list of them (one "pkg"
    entry each, in that order: the last is the primary)."""
    control = os.path.join(DRIVE_C, "launcher-server")
    os.makedirs(control, exist_ok=True)
    urls = [url] if isinstance(url, str) else list(url)
    with open(os.path.join(control, "mode"), "w", encoding="utf-8") as f:
        f.write(mode + "\n" + "".join(u + "\n" for u in urls))


def server_requests():
    try:
        with open(os.path.join(DRIVE_C, "launcher-server", "requests.log"), "rb") as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


def set_game_root(case, fresh=True):
    """Points the launcher at C:\\drel-e2e\\<case>\\ through game_root.txt."""
    root = "C:\\drel-e2e\\" + case + "\\"
    if fresh:
        shutil.rmtree(unix_path(root), ignore_errors=True)
    os.makedirs(unix_path(root), exist_ok=True)
    os.makedirs(data_folder(), exist_ok=True)
    with open(os.path.join(data_folder(), "game_root.txt"), "wb") as f:
        f.write(root.encode("cp936"))
    return root


def screenshot(path):
    subprocess.run(["import", "-display", os.environ["DISPLAY"], "-window", "root", path],
                   check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return path


class Launcher:
    """One launcher process; its debug trace (standard output) is read line by line."""

    def __init__(self, args=(), env=None, exe=LAUNCHER):
        full_env = dict(os.environ)
        full_env.update(env or {})
        self.lines = []
        self.last_answer = 0  # the trace line after the last box answered
        self.times = []  # when each line of lines arrived (time.time())
        self._queue = queue.Queue()
        # wine-run.sh starts it the way this build's Windows programs run (the
        # i386 loader emulated, where it must be) and becomes the program itself.
        self.proc = subprocess.Popen([WINE_RUN, exe] + list(args), env=full_env,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            line = raw.decode("gbk", errors="replace").rstrip("\r\n")
            self._queue.put((time.time(), line))

    def mark(self):
        """The number of trace lines so far, for wait_for's start."""
        while True:
            try:
                arrived, line = self._queue.get_nowait()
            except queue.Empty:
                return len(self.lines)
            self.lines.append(line)
            self.times.append(arrived)

    def wait_for(self, text, timeout=60, start=0):
        """Waits for a trace line containing text, among the lines from number
        start on (mark gives it); gives the line or None."""
        for line in self.lines[start:]:
            if text in line:
                return line
        end = time.time() + timeout
        while time.time() < end:
            try:
                arrived, line = self._queue.get(timeout=0.2)
            except queue.Empty:
                if self.proc.poll() is not None and self._queue.empty():
                    return None
                continue
            self.lines.append(line)
            self.times.append(arrived)
            if text in line:
                return line
        return None

    def time_of(self, text):
        """When the first line containing text arrived, or None."""
        for line, arrived in zip(self.lines, self.times):
            if text in line:
                return arrived
        return None

    def wait_exit(self, timeout=60):
        try:
            code = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None
        self.wait_for("\0", 2)  # takes in the last trace lines
        return code

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def read_record(path, timeout=60):
    """The (command line, working folder) a stub program recorded."""
    end = time.time() + timeout
    while time.time() < end:
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                lines = f.read().splitlines()
            if len(lines) >= 2:
                return lines
        time.sleep(0.1)
    return None


def click(x, y):
    """A real mouse click on the X display at screen position x, y."""
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=True,
                   env=dict(os.environ))


def wait_box(launcher, text, timeout=120, start=None):
    """Waits for the skinned message box showing text, shown after trace line
    number start (by default: after the last box answered); gives the screen
    centres of its buttons by number (1, and 2 when it has two), or None."""
    if start is None:
        start = launcher.last_answer
    if not launcher.wait_for("launcher: message box: " + text, timeout, start):
        return None
    shown = next(i for i in range(start, len(launcher.lines))
                 if launcher.lines[i].startswith("launcher: message box: " + text))
    where = launcher.wait_for("launcher: message box buttons:", 30, shown)
    if not where:
        return None
    # "launcher: message box buttons: first=X,Y second=X,Y"
    spots = {}
    for part in where.split(":", 2)[2].split():
        key, xy = part.split("=")
        x, y = xy.split(",")
        spots[1 if key == "first" else 2] = (int(x), int(y))
    time.sleep(0.3)  # let the box finish painting
    return spots


def press(launcher, spot, tries=3):
    """Clicks a message box's button until the launcher says the box was
    answered: a click that comes while a loaded machine still paints the box
    can be lost. False when no click took."""
    for _ in range(tries):
        start = launcher.mark()
        click(*spot)
        if launcher.wait_for("launcher: message box answer:", 10, start):
            launcher.last_answer = launcher.mark()
            return True
    return False


def answer_box(launcher, text, button, timeout=120):
    """Waits for the box showing text and clicks its first (1) or second (2) button."""
    spots = wait_box(launcher, text, timeout)
    return bool(spots) and press(launcher, spots[button])


def close_button_position(screen=(1920, 1080)):
    """The close button's centre: the background (987 x 388 at scale 1) is
    centred on the screen, the foreground sits 200 pixels in, and the button
    covers 756..784 x 107..135 of the foreground."""
    left = screen[0] // 2 - 987 // 2
    top = screen[1] // 2 - 388 // 2
    return left + 200 + 770, top + 121
