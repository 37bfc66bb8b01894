"""The program under test: started on the private desktop, ended with its children."""

import os
import re
import subprocess
import uuid

import accessibility as a11y
from desktop import end_marked_processes, end_process_group, processes_with_marker

APP_MARKER_VARIABLE = "TESSARO_E2E_PROGRAM"
MAIN_WINDOW_TITLE = "Tessaro v1.0.0"


class Program:
    def __init__(self, desktop, binary, log_path, extra_env=None):
        self.desktop = desktop
        self.binary = binary
        self.log_path = log_path
        self.marker = uuid.uuid4().hex
        self.env = dict(desktop.env)
        self.env[APP_MARKER_VARIABLE] = self.marker
        self.env.update(extra_env or {})
        self.process = None
        self.app = None

    def start(self, timeout=60):
        self.desktop.check_alive()
        with open(self.log_path, "ab") as log:
            self.process = subprocess.Popen([self.binary], env=self.env, cwd=self.desktop.home,
                                            stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                                            start_new_session=True)
        self.app = a11y.wait_for(self._application, timeout, what="the program on the accessibility bus")
        return self.main_window(timeout)

    def _application(self):
        if self.process.poll() is not None:
            raise AssertionError("the program ended at start with code %s; see %s"
                                 % (self.process.returncode, self.log_path))
        return a11y.application_of(self.process.pid)

    def windows(self):
        return a11y.children(self.app)

    def main_window(self, timeout=30):
        return a11y.wait_for(
            lambda: next((w for w in self.windows() if a11y.name(w) == MAIN_WINDOW_TITLE and a11y.is_showing(w)),
                         None),
            timeout, what="the main window")

    def running(self):
        return self.process is not None and self.process.poll() is None

    def wait_exit(self, timeout):
        """The exit code, or None when the program still runs after the time-out."""
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def leftovers(self):
        """Processes started by this program that are still alive."""
        return processes_with_marker(self.marker, APP_MARKER_VARIABLE)

    def stop(self):
        if self.process is not None:
            end_process_group(self.process)
        end_marked_processes(self.marker, APP_MARKER_VARIABLE)


def screenshot(desktop, path):
    """The whole screen as a PNG file."""
    subprocess.run(["import", "-window", "root", path], env=desktop.env, check=True, timeout=30,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return path


def top_level_titles(desktop):
    """The titles of the windows the X server shows."""
    tree = subprocess.run(["xwininfo", "-root", "-children"], env=desktop.env, check=True, timeout=30,
                          capture_output=True, text=True).stdout
    return re.findall(r'^\s+0x[0-9a-f]+ "(.*)": \(', tree, re.MULTILINE)


def pixels(path, box):
    """The pixels of a screen region as rows of (r, g, b), read from a screenshot."""
    x, y, width, height = box
    ppm = subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (width, height, x, y), "+repage",
                          "-depth", "8", "ppm:-"], check=True, timeout=30, capture_output=True).stdout
    fields, offset = [], 0
    while len(fields) < 4:  # magic, width, height, maximum
        while ppm[offset:offset + 1].isspace():
            offset += 1
        end = offset
        while not ppm[end:end + 1].isspace():
            end += 1
        fields.append(ppm[offset:end])
        offset = end
    offset += 1
    w, h = int(fields[1]), int(fields[2])
    data = ppm[offset:offset + w * h * 3]
    return [[tuple(data[(r * w + c) * 3:(r * w + c) * 3 + 3]) for c in range(w)] for r in range(h)]


def share_of_colour(rows, rgb, tolerance=24):
    """The share (0..1) of pixels within tolerance of the colour."""
    total = match = 0
    for row in rows:
        for pixel in row:
            total += 1
            if all(abs(p - q) <= tolerance for p, q in zip(pixel, rgb)):
                match += 1
    return match / total if total else 0.0


def wait_for_colour(desktop, node, rgb, share, timeout, shot_path):
    """Waits until at least the share of the control's area shows the colour."""
    seen = [0.0]

    def painted():
        screenshot(desktop, shot_path)
        seen[0] = share_of_colour(pixels(shot_path, a11y.extents(node)), rgb)
        return seen[0] >= share

    try:
        return a11y.wait_for(painted, timeout, interval=0.5, what="colour %s in %r" % (rgb, a11y.name(node)))
    except a11y.NotFound as error:
        raise AssertionError("%s (best share %.2f)" % (error, seen[0])) from None


def file_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def listing(folder):
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else []
