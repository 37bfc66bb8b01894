"""The test web site: pages with frames and Flash references, on loopback.

Movie addresses carry no port, as on real sites, so the site listens on
port 80 of an address of its own in 127.0.0.0/8 (random per run, so that parallel runs do not meet). A
second address serves the cross-origin frame.
"""

import errno
import http.server
import random
import threading

from movies import solid_movie

# Movie colours; each is unlike anything the program paints itself.
INTRO_COLOUR = (0xE0, 0x20, 0xB0)
BANNER_COLOUR = (0x10, 0xC0, 0x40)
CLIP_COLOUR = (0x20, 0x40, 0xE0)
INNER_COLOUR = (0xF0, 0xA0, 0x10)
FAR_COLOUR = (0x60, 0x10, 0x80)


class PortUnavailable(RuntimeError):
    pass


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):  # noqa: N802 - the name http.server calls
        site = self.server.site
        path = self.path.split("?", 1)[0]
        with site.lock:
            site.requests.append(path)
        delay = site.delays.get(path)
        if delay is not None:
            delay.wait(timeout=120)  # held until the test lets it go
        body_and_type = site.routes.get(path)
        if body_and_type is None:
            body, content_type, status = b"<html><body>Not Found</body></html>", "text/html", 404
        else:
            (body, content_type), status = body_and_type, 200
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "max-age=3600")
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class Host:
    """One HTTP server on 127.x.y.z:80 serving a table of routes."""

    def __init__(self, address, port=80):
        self.routes = {}
        self.delays = {}
        self.requests = []
        self.lock = threading.Lock()
        try:
            self._server = _Server((address, port), _Handler)
        except OSError as error:
            if error.errno in (errno.EACCES, errno.EADDRINUSE, errno.EADDRNOTAVAIL):
                raise PortUnavailable(str(error)) from error
            raise
        self._server.site = self
        self.address = address
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()

    @property
    def origin(self):
        port = self._server.server_address[1]
        return "http://%s" % self.address if port == 80 else "http://%s:%d" % (self.address, port)

    def add(self, path, body, content_type):
        self.routes[path] = (body.encode() if isinstance(body, str) else body, content_type)

    def hold(self, path):
        """Makes requests for path wait until the returned event is set."""
        event = threading.Event()
        self.delays[path] = event
        return event

    def close(self):
        for event in self.delays.values():
            event.set()
        self._server.shutdown()
        self._server.server_close()


def open_host(attempts=20):
    """A host on port 80 of a free random loopback address."""
    last = None
    for _ in range(attempts):
        address = "127.%d.%d.%d" % (random.randint(1, 254), random.randint(0, 255), random.randint(1, 254))
        try:
            return Host(address)
        except PortUnavailable as error:
            last = error
            if error.__cause__ is not None and error.__cause__.errno == errno.EACCES:
                break  # not allowed to use port 80 at all
    raise PortUnavailable("no loopback address with a free port 80: %s" % last)


class FramedSite:
    """Two hosts: the framed page and its frames, and a cross-origin frame."""

    def __init__(self):
        self.main = open_host()
        try:
            self.other = open_host()
        except BaseException:
            self.main.close()
            raise
        m, o = self.main, self.other
        self.movies = {
            "/site/movies/intro.swf": solid_movie(INTRO_COLOUR),
            "/site/movies/banner.swf": solid_movie(BANNER_COLOUR),
            "/site/movies/Clip.SWF": solid_movie(CLIP_COLOUR),
            "/site/movies/inner.swf": solid_movie(INNER_COLOUR),
        }
        for path, movie in self.movies.items():
            m.add(path, movie, "application/x-shockwave-flash")
        self.far_movie = solid_movie(FAR_COLOUR)
        o.add("/other/far.swf", self.far_movie, "application/x-shockwave-flash")

        m.add("/site/index.html", """<!DOCTYPE html>
<html><head><title>Framed movies</title></head><body>
<h1>Framed movies</h1>
<object classid="clsid:D27CDB6E-AE6D-11CF-96B8-444553540000" width="200" height="150"
  codebase="http://download.macromedia.com/pub/shockwave/cabs/flash/swflash.cab#version=9,0,0,0">
  <param name="movie" value="movies/intro.swf">
</object>
<embed src="movies/banner.swf" type="application/x-shockwave-flash" width="100" height="50">
<script>var clip = "movies/Clip.SWF?loop=1"; var gone = "movies/missing.swf";</script>
<iframe src="frames/inner.html" width="300" height="100"></iframe>
<iframe src="%s/other/cross.html" width="300" height="100"></iframe>
</body></html>""" % o.origin, "text/html")
        # The same movie in other letters is not listed twice.
        m.add("/site/frames/inner.html", """<!DOCTYPE html>
<html><body><embed src="../movies/inner.swf"><embed src="/site/movies/INTRO.swf"></body></html>""",
              "text/html")
        o.add("/other/cross.html", """<!DOCTYPE html>
<html><body><embed src="far.swf" type="application/x-shockwave-flash"></body></html>""", "text/html")

    @property
    def page(self):
        return self.main.origin + "/site/index.html"

    def expected_rows(self):
        """The movie addresses the page scan lists, in order."""
        m, o = self.main.origin, self.other.origin
        return [
            m + "/site/movies/intro.swf",
            m + "/site/movies/banner.swf",
            m + "/site/movies/Clip.SWF?loop=1",
            m + "/site/movies/missing.swf",
            m + "/site/movies/inner.swf",
            o + "/other/far.swf",
        ]

    def close(self):
        self.main.close()
        self.other.close()


class HostileSite:
    """A page whose script names files a shell reads at start, each behind a
    NUL or an escape sequence and ending in ".swf", beside one sound movie.
    The server answers those files too, with a movie that carries a command."""

    HOME_FILES = (".bashrc", ".profile", ".bash_login", ".inputrc")

    def __init__(self):
        self.main = open_host()
        self.movie = solid_movie(INTRO_COLOUR)
        self.main.add("/ok.swf", self.movie, "application/x-shockwave-flash")
        payload = solid_movie(INTRO_COLOUR) + b"\n\necho PAYLOAD-RAN\n"
        for name in self.HOME_FILES:
            self.main.add("/" + name, payload, "application/x-shockwave-flash")
        m = self.main.origin
        # Every form a script can write a NUL in, and an ESC that would colour the row.
        self.main.add("/page.html", """<!DOCTYPE html>
<html><head><title>Hostile names</title></head><body>
<script>
var a = "%s/.bashrc\\0.swf"; var b = "%s/.profile\\x00.swf"; var c = '%s/.bash_login\\u0000.swf';
var d = "%s/.inputrc\\u001b[31m.swf"; var e = "%s/ok.swf";
</script>
</body></html>""" % (m, m, m, m, m), "text/html")

    @property
    def page(self):
        return self.main.origin + "/page.html"

    def expected_rows(self):
        return [self.main.origin + "/ok.swf"]

    def close(self):
        self.main.close()
