"""A private desktop for one run of the end-to-end suite.

An X server (Xvfb), a D-Bus session bus (through which the accessibility bus
is started on demand) and a temporary home. Every process started here carries
a marker in its environment, so that whatever outlives its parent (D-Bus
activated services, web engine helpers) can still be found and ended.
"""

import os
import random
import shutil
import signal
import subprocess
import tempfile
import time
import uuid

MARKER_VARIABLE = "TESSARO_E2E_MARKER"

# The same flags the unit tests give the web engine: nothing leaves loopback.
CHROMIUM_FLAGS = ("--disable-background-networking --disable-component-update "
                  "--no-pings --disable-domain-reliability")


def processes_with_marker(marker, variable=MARKER_VARIABLE):
    """Ids of the live processes whose environment holds the marker."""
    needle = ("%s=%s" % (variable, marker)).encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as environ:
                if needle in environ.read().split(b"\0"):
                    found.append(int(entry))
        except OSError:
            pass  # gone meanwhile, or not ours to read
    return found


def end_marked_processes(marker, variable=MARKER_VARIABLE, grace_seconds=3.0):
    """Asks every marked process to end, then kills what is left."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        pids = processes_with_marker(marker, variable)
        for pid in pids:
            try:
                os.kill(pid, sig)
            except ProcessLookupError:
                pass
        deadline = time.monotonic() + grace_seconds
        while pids and time.monotonic() < deadline:
            pids = [pid for pid in pids if _alive(pid)]
            time.sleep(0.05)
        if not pids:
            return


def _alive(pid):
    try:
        with open("/proc/%d/stat" % pid) as stat:
            # A zombie has ended; its parent only has not reaped it yet.
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def end_process_group(process, grace_seconds=5.0):
    """Ends a process started in a session of its own, with its group."""
    # Politely first; whatever of the group is left then goes by force.
    for sig in (signal.SIGTERM, signal.SIGKILL):
        if sig == signal.SIGTERM and process.poll() is not None:
            continue
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            pass
        try:
            process.wait(timeout=grace_seconds)
        except subprocess.TimeoutExpired:
            pass


class Desktop:
    """Xvfb + session bus + temporary home; use as a context manager."""

    def __init__(self, screen="1280x1024x24"):
        self.screen = screen
        self.marker = uuid.uuid4().hex
        self.root = tempfile.mkdtemp(prefix="tessaro-e2e-")
        self.home = os.path.join(self.root, "home")
        self.env = None
        self._xvfb = None
        self._bus = None

    def __enter__(self):
        # Orphans of what we start (a bus's activated services) become our
        # children, so that we can reap them instead of leaving zombies.
        _become_subreaper()
        try:
            self._start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def _start(self):
        runtime = os.path.join(self.root, "runtime")
        for folder in (self.home, runtime):
            os.makedirs(folder, mode=0o700)
        env = {
            "PATH": "/usr/local/bin:/usr/bin:/bin",
            "LANG": "C.UTF-8",
            "HOME": self.home,
            "USER": os.environ.get("USER", "root"),
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
            "QT_QPA_PLATFORM": "xcb",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_ACCESSIBILITY": "1",
            "QTWEBENGINE_DISABLE_SANDBOX": "1",
            "QTWEBENGINE_CHROMIUM_FLAGS": CHROMIUM_FLAGS,
            "QT_LOGGING_RULES": "qt.webenginecontext.info=false",
            "NO_PROXY": "*",
            MARKER_VARIABLE: self.marker,
        }
        # A sanitizer build reads its options from here.
        for name in ("ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"):
            if name in os.environ:
                env[name] = os.environ[name]
        env["DISPLAY"] = self._start_xvfb(env)
        env["DBUS_SESSION_BUS_ADDRESS"] = self._start_bus(env, runtime)
        self.env = env

    def _start_xvfb(self, env, attempts=10):
        # A random display number well above the ones other tools hard-code (:0, :99).
        # -noreset: by default the server resets when its last client leaves (the
        # accessibility bus launcher is an early one) and refuses connections meanwhile.
        for _ in range(attempts):
            number = random.randint(200, 4000)
            read_end, write_end = os.pipe()
            self._xvfb = subprocess.Popen(
                ["Xvfb", ":%d" % number, "-displayfd", str(write_end), "-screen", "0", self.screen, "-noreset",
                 "-nolisten", "tcp"],
                pass_fds=(write_end,), env=env, start_new_session=True,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(write_end)
            display = _read_line(read_end, timeout=20.0)
            os.close(read_end)
            if display and self._xvfb.poll() is None:
                return ":" + display
            end_process_group(self._xvfb)  # that display was taken
        raise RuntimeError("Xvfb did not start")

    def check_alive(self):
        """Raises when the X server or the bus has gone (something outside ended them)."""
        for process, what in ((self._xvfb, "the X server"), (self._bus, "the session bus")):
            if process is None or process.poll() is not None:
                raise RuntimeError("%s of the test desktop has ended" % what)

    def _start_bus(self, env, runtime):
        socket = os.path.join(runtime, "bus")
        self._bus = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=unix:path=" + socket,
             "--print-address=1"],
            env=env, start_new_session=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        address = _read_line(self._bus.stdout.fileno(), timeout=20.0)
        if not address:
            raise RuntimeError("the session bus did not start")
        return address

    def close(self):
        for process in (self._bus, self._xvfb):
            if process is not None:
                end_process_group(process)
        end_marked_processes(self.marker)
        _reap_children()
        shutil.rmtree(self.root, ignore_errors=True)


def _become_subreaper():
    import ctypes
    pr_set_child_subreaper = 36
    ctypes.CDLL(None, use_errno=True).prctl(pr_set_child_subreaper, 1, 0, 0, 0)


def _reap_children():
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return


def _read_line(fd, timeout):
    """Reads one line from a pipe within the time-out; empty on failure."""
    import select
    data = b""
    deadline = time.monotonic() + timeout
    while not data.endswith(b"\n"):
        remaining = deadline - time.monotonic()
        if remaining <= 0 or not select.select([fd], [], [], remaining)[0]:
            return ""
        chunk = os.read(fd, 256)
        if not chunk:
            break
        data += chunk
    return data.decode().strip()
