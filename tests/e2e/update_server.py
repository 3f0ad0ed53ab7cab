#!/usr/bin/env python3
"""The update server of the end-to-end tests: serves a static tree (as nelo-publish writes it)
on 127.0.0.1 over HTTP/1.1, logs every request, and misbehaves on demand.

As a module:

    server = UpdateServer(root).start()
    server.base_url                       # "http://127.0.0.1:PORT/"
    server.set_fault("/app/manifest.json", status=503, times=1)
    server.requests                       # [(path, user_agent), ...]
    server.ranges                         # [(path, Range header or None), ...]
    server.body_bytes_sent                # body bytes written, over every answer
    server.most_in_flight                 # the most answers that were being made at once
    server.stop()

Like a real static server it answers a single byte range ("Range: bytes=A-B" or "bytes=A-")
with 206 and a Content-Range, and 416 past the end (`ranges=False` ignores Range headers and
answers 200 with the whole file). To stand in for a network, `latency` waits that many seconds
before every answer (a round trip), and `rate` caps what all answers together send, in bytes a
second (a link).

As a program: update_server.py --root ROOT [--port 0] [--port-file F] [--latency S] [--rate B]
[--no-ranges] prints the base URL and serves until it is stopped (SIGTERM or Ctrl-C).

Faults apply to every later request of one exact path (the path as requested, or the same
without its query), until cleared or until `times` requests have had them:

    status=N                  answer N with a short body (or `body`)
    location=URL              answer a redirect there (status 302 unless given)
    body=b"..."               answer `body` instead of the file (status 200 unless given)
    cut_after=N               full Content-Length, N body bytes, then a connection reset (RST)
    cut_clean_after=N         the same, ended by a clean close (FIN)
    stall_before_headers=S    wait S seconds before answering
    stall_mid_body=S          send stall_at bytes (default half the body), wait S, send the rest
    stall_at=N
    trickle=(chunk, delay)    send the body `chunk` bytes at a time, `delay` seconds apart
    hold=EVENT                wait until the threading.Event is set before answering (a
                              condition the test decides, where a stall would guess a time)
    times=N                   only the next N requests of the path
"""
import argparse
import http.server
import os
import pathlib
import signal
import socket
import struct
import sys
import threading
import time
import urllib.parse

_FAULT_KEYS = {"status", "body", "location", "cut_after", "cut_clean_after", "stall_before_headers",
               "stall_mid_body", "stall_at", "trickle", "hold", "times"}

# How long a cut connection waits for the client to read its last bytes before the reset (a
# reset drops whatever is still queued).
_DRAIN_SECONDS = 10.0


def _tcp_endpoint(address):
    """An IPv4 address and port as /proc/net/tcp writes them ("0100007F:1F90")."""
    host, port = address[:2]
    packed = socket.inet_aton(host)
    return f"{struct.unpack('<I', packed)[0]:08X}:{port:04X}"


def _delivered(connection):
    """True when nothing we wrote is still unacknowledged and the peer's socket on this machine
    has read everything it received."""
    try:
        import fcntl
        import termios
        queued = fcntl.ioctl(connection.fileno(), termios.TIOCOUTQ, struct.pack("i", 0))
        if struct.unpack("i", queued)[0] != 0:
            return False
        ours, theirs = connection.getsockname(), connection.getpeername()
        wanted = (_tcp_endpoint(theirs), _tcp_endpoint(ours))
        with open("/proc/net/tcp", encoding="ascii") as table:
            for line in table.readlines()[1:]:
                fields = line.split()
                if (fields[1], fields[2]) == wanted:
                    return int(fields[4].split(":")[1], 16) == 0
    except (ImportError, OSError, ValueError):
        time.sleep(0.05)
        return True
    return True  # the peer is not on this machine: its acknowledgement is all we can see


def _check_fault(fault):
    unknown = set(fault) - _FAULT_KEYS
    if unknown:
        raise TypeError(f"unknown fault setting: {', '.join(sorted(unknown))}")
    fault = dict(fault)
    if "body" in fault and isinstance(fault["body"], str):
        fault["body"] = fault["body"].encode("utf-8")
    if "body" in fault and not isinstance(fault["body"], (bytes, bytearray)):
        raise TypeError("body must be bytes")
    for key in ("status", "cut_after", "cut_clean_after", "stall_at", "times"):
        if key in fault and (not isinstance(fault[key], int) or fault[key] < 0):
            raise ValueError(f"{key} must be a whole number of at least 0")
    if "cut_after" in fault and "cut_clean_after" in fault:
        raise ValueError("cut_after and cut_clean_after exclude each other")
    if fault.get("times") == 0:
        raise ValueError("times must be at least 1")
    for key in ("stall_before_headers", "stall_mid_body"):
        if key in fault and fault[key] < 0:
            raise ValueError(f"{key} must not be negative")
    if "hold" in fault and not callable(getattr(fault["hold"], "is_set", None)):
        raise TypeError("hold must be a threading.Event")
    if "trickle" in fault:
        chunk, delay = fault["trickle"]
        if not isinstance(chunk, int) or chunk < 1 or delay < 0:
            raise ValueError("trickle is (chunk bytes >= 1, delay seconds >= 0)")
    return fault


class _Stopped(Exception):
    """The server is stopping: the handler drops its connection."""


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "NeloTestServer/1"
    sys_version = ""
    # An idle keep-alive connection ends after this long.
    timeout = 30
    # Headers and body go out in separate writes: without this, Nagle's algorithm holds the
    # body back until the client's delayed acknowledgement of the headers (about 40 ms on every
    # small answer). Real servers send at once.
    disable_nagle_algorithm = True

    def log_message(self, format, *args):  # noqa: A002 - the base class's signature
        pass  # the request log is self.server.owner.requests

    def do_GET(self):
        self._answer(send_body=True)

    def do_HEAD(self):
        self._answer(send_body=False)

    # -- pieces ------------------------------------------------------------------------------

    def _wait(self, seconds):
        if self.server.owner._stopping.wait(seconds):
            raise _Stopped()

    def _ranged(self, status, body):
        """(status, body, extra headers) for a single byte range asked of a whole file."""
        owner = self.server.owner
        wanted = self.headers.get("Range")
        if status != 200 or not wanted or not owner.honours_ranges:
            return status, body, {}
        asked = wanted.strip()
        if not asked.startswith("bytes=") or "," in asked:
            return status, body, {}  # not a range this server takes: the whole file
        first_text, _, last_text = asked[len("bytes="):].partition("-")
        try:
            first = int(first_text)
            last = int(last_text) if last_text else len(body) - 1
        except ValueError:
            return status, body, {}
        if first >= len(body) or last < first:
            return 416, b"", {"Content-Range": f"bytes */{len(body)}"}
        last = min(last, len(body) - 1)
        return 206, body[first:last + 1], {"Content-Range": f"bytes {first}-{last}/{len(body)}"}

    def _file_answer(self):
        """(status, body, content type) for the path asked."""
        owner = self.server.owner
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        pieces = [piece for piece in path.split("/") if piece not in ("", ".")]
        if ".." in pieces or "\\" in path or "\0" in path:
            return 403, b"forbidden\n", "text/plain"
        target = owner.root.joinpath(*pieces)
        try:
            resolved = target.resolve()
            resolved.relative_to(owner.root)  # a link may still lead outside
            if not resolved.is_file():
                return 404, b"not found\n", "text/plain"
            body = resolved.read_bytes()
        except (OSError, ValueError):
            return 404, b"not found\n", "text/plain"
        kind = "application/json" if resolved.suffix == ".json" else "application/octet-stream"
        return 200, body, kind

    def _send(self, data):
        owner = self.server.owner
        view = memoryview(data)
        while len(view):
            piece = view[:65536] if owner.rate else view
            owner._take_rate(len(piece))
            # Counted as it is handed over: a client that has the bytes finds them counted.
            owner._count_sent(len(piece))
            self.wfile.write(piece)
            view = view[len(piece):]

    def _reset(self):
        """Ends the connection with an RST once the client has read every byte written.

        A reset that arrives while bytes still wait in the client's receive queue can be taken
        for a clean end: the pending error is reported once, and whoever polls the socket first
        (Wine's server does) consumes it, so the reads that drain the queue end with a plain 0.
        Waiting until the peer's queue is empty (it is on this machine: /proc/net/tcp shows it)
        makes the client meet the reset on its next read, every time."""
        connection = self.connection
        deadline = time.monotonic() + _DRAIN_SECONDS
        while time.monotonic() < deadline and not _delivered(connection):
            time.sleep(0.002)
        connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.close_connection = True
        # The reader holds a reference to the socket; the descriptor closes with the last one.
        self.rfile.close()
        connection.close()

    def _answer(self, send_body):
        owner = self.server.owner
        owner._record(self.path, self.headers.get("User-Agent"), self.headers.get("Range"))
        fault = owner._take_fault(self.path)
        owner._begin_answer()
        try:
            if owner.latency:
                self._wait(owner.latency)
            if "hold" in fault:
                while not fault["hold"].is_set():
                    self._wait(0.01)
            if "stall_before_headers" in fault:
                self._wait(fault["stall_before_headers"])
            if "status" in fault or "body" in fault or "location" in fault:
                status = fault.get("status", 302 if "location" in fault else 200)
                body = fault.get("body", f"{status} from the test server\n".encode("ascii"))
                kind = "application/octet-stream"
                extra = {"Location": fault["location"]} if "location" in fault else {}
            else:
                status, body, kind = self._file_answer()
                status, body, extra = self._ranged(status, body)

            cut = fault.get("cut_after", fault.get("cut_clean_after"))
            self.send_response(status)
            self.send_header("Content-Type", kind)
            self.send_header("Content-Length", str(len(body)))
            if owner.honours_ranges and status in (200, 206):
                self.send_header("Accept-Ranges", "bytes")
            for name, value in extra.items():
                self.send_header(name, value)
            if cut is not None:
                self.send_header("Connection", "close")
            self.end_headers()
            if not send_body:
                return
            limit = len(body) if cut is None else min(cut, len(body))
            self._send_body(body[:limit], fault)
            if "cut_after" in fault:
                self._reset()
            elif cut is not None:
                self.close_connection = True  # the server closes it cleanly (FIN)
        except _Stopped:
            self.close_connection = True
        except OSError:  # the client went away
            self.close_connection = True
        finally:
            owner._end_answer()

    def _send_body(self, body, fault):
        if "trickle" in fault:
            chunk, delay = fault["trickle"]
        else:
            chunk, delay = len(body) or 1, 0
        stall_at = None
        if "stall_mid_body" in fault:
            stall_at = min(fault.get("stall_at", len(body) // 2), len(body))
        sent = 0
        while sent < len(body):
            end = min(sent + chunk, len(body))
            if stall_at is not None and sent < stall_at < end:
                end = stall_at
            self._send(body[sent:end])
            sent = end
            if stall_at is not None and sent == stall_at:
                stall_at = None
                self._wait(fault["stall_mid_body"])
            elif delay and sent < len(body):
                self._wait(delay)
        if stall_at is not None:  # stall_at == len(body), or an empty body
            self._wait(fault["stall_mid_body"])


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    block_on_close = False

    def __init__(self, owner, address):
        self.owner = owner
        self._connections = set()
        self._connections_lock = threading.Lock()
        super().__init__(address, _Handler)

    def process_request(self, request, client_address):
        with self._connections_lock:
            self._connections.add(request)
        super().process_request(request, client_address)

    def shutdown_request(self, request):
        with self._connections_lock:
            self._connections.discard(request)
        super().shutdown_request(request)

    def drop_connections(self):
        with self._connections_lock:
            connections = list(self._connections)
        for connection in connections:
            try:
                connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def handle_error(self, request, client_address):
        # A client that goes away mid-answer is routine here; anything else is a real fault.
        error = sys.exc_info()[1]
        if not isinstance(error, (OSError, _Stopped)):
            super().handle_error(request, client_address)


class UpdateServer:
    """A static tree served on 127.0.0.1; see the module's text."""

    def __init__(self, root, port=0, latency=0.0, rate=None, ranges=True):
        self.root = pathlib.Path(root).resolve()
        self._port_wanted = port
        self.latency = latency
        self.rate = rate
        self.honours_ranges = ranges
        self._lock = threading.Lock()
        self._requests = []
        self._ranges = []
        self._sent = 0
        self._in_flight = 0
        self._most_in_flight = 0
        self._rate_lock = threading.Lock()
        self._rate_next = 0.0  # when the link is free again, on the monotonic clock
        self._faults = {}
        self._stopping = threading.Event()
        self._server = None
        self._thread = None

    # -- life --------------------------------------------------------------------------------

    def start(self):
        self._stopping.clear()
        self._server = _Server(self, ("127.0.0.1", self._port_wanted))
        self._thread = threading.Thread(target=self._server.serve_forever,
                                        kwargs={"poll_interval": 0.05},
                                        name="update-server", daemon=True)
        self._thread.start()
        return self

    def stop(self):
        """Stops at once: stalled answers are abandoned and open connections dropped."""
        if self._server is None:
            return
        self._stopping.set()
        self._server.shutdown()
        self._server.drop_connections()
        self._server.server_close()
        self._thread.join(timeout=5)
        self._server = None

    def __enter__(self):
        return self.start() if self._server is None else self

    def __exit__(self, *exc):
        self.stop()

    @property
    def port(self):
        return self._server.server_address[1]

    @property
    def base_url(self):
        return f"http://127.0.0.1:{self.port}/"

    # -- requests ----------------------------------------------------------------------------

    @property
    def requests(self):
        """Every request so far, oldest first, as (path, User-Agent or None)."""
        with self._lock:
            return list(self._requests)

    @property
    def ranges(self):
        """Every request so far, oldest first, as (path, Range header or None)."""
        with self._lock:
            return list(self._ranges)

    @property
    def body_bytes_sent(self):
        with self._lock:
            return self._sent

    @property
    def most_in_flight(self):
        with self._lock:
            return self._most_in_flight

    def clear_requests(self):
        """Forgets the requests, the bytes sent and the most answers in flight."""
        with self._lock:
            self._requests.clear()
            self._ranges.clear()
            self._sent = 0
            self._most_in_flight = self._in_flight

    def _record(self, path, user_agent, byte_range):
        with self._lock:
            self._requests.append((path, user_agent))
            self._ranges.append((path, byte_range))

    def _begin_answer(self):
        with self._lock:
            self._in_flight += 1
            self._most_in_flight = max(self._most_in_flight, self._in_flight)

    def _end_answer(self):
        with self._lock:
            self._in_flight -= 1

    def _count_sent(self, count):
        with self._lock:
            self._sent += count

    def _take_rate(self, count):
        """Waits until the shared link has carried `count` more bytes at `rate`."""
        if not self.rate:
            return
        with self._rate_lock:
            now = time.monotonic()
            start = max(now, self._rate_next)
            self._rate_next = start + count / self.rate
            done = self._rate_next
        delay = done - time.monotonic()
        if delay > 0 and self._stopping.wait(delay):
            raise _Stopped()

    # -- faults ------------------------------------------------------------------------------

    def set_fault(self, path, **fault):
        """Makes later requests of `path` misbehave; replaces the path's earlier fault."""
        fault = _check_fault(fault)
        with self._lock:
            self._faults[path] = fault

    def clear_faults(self, path=None):
        with self._lock:
            if path is None:
                self._faults.clear()
            else:
                self._faults.pop(path, None)

    def _take_fault(self, request_path):
        """The fault for this request (an empty one for none), counting down `times`."""
        with self._lock:
            key = request_path
            if key not in self._faults:
                key = urllib.parse.urlsplit(request_path).path
            fault = self._faults.get(key)
            if fault is None:
                return {}
            if "times" in fault:
                fault["times"] -= 1
                if fault["times"] <= 0:
                    del self._faults[key]
            return dict(fault)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Serves a Nelo update tree on 127.0.0.1.")
    parser.add_argument("--root", required=True, help="the tree to serve (ROOT/app/...)")
    parser.add_argument("--port", type=int, default=0, help="0 (the default) picks a free one")
    parser.add_argument("--port-file", help="where to write the port once listening")
    parser.add_argument("--latency", type=float, default=0.0,
                        help="seconds to wait before every answer (a round trip)")
    parser.add_argument("--rate", type=float, default=None,
                        help="bytes a second that all answers together may send")
    parser.add_argument("--no-ranges", action="store_true", help="ignore Range headers")
    options = parser.parse_args(argv)
    if not os.path.isdir(options.root):
        parser.error(f"not a folder: {options.root}")

    server = UpdateServer(options.root, options.port, latency=options.latency,
                          rate=options.rate, ranges=not options.no_ranges).start()
    done = threading.Event()
    for signal_number in (signal.SIGTERM, signal.SIGINT):
        signal.signal(signal_number, lambda *_: done.set())
    if options.port_file:
        # Written whole, then renamed: a reader never sees a partial number.
        partial = options.port_file + ".partial"
        with open(partial, "w", encoding="ascii") as out:
            out.write(f"{server.port}\n")
        os.replace(partial, options.port_file)
    print(server.base_url, flush=True)
    try:
        while not done.wait(0.5):
            pass
    finally:
        server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
