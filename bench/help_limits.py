#!/usr/bin/env python3
"""The console's help server under hostile local clients: resident memory and the FTP greeting.

Starts the console (offscreen, its settings, lock and ports its own) and sends at its help
server, one after the other: an endless header line, a POST announcing 500 MB, 100,000
pipelined GETs whose replies are never read, and 1,000 half-open connections. For each it
prints the console's resident memory before and at most during the attack, how the server
ended it (status, close), and the slowest FTP greeting meanwhile. Then how many half-open
connections are still open after the wait.

Usage: bench/help_limits.py [CONSOLE]  (default build-bench/bin/pelion)
Loopback only; every attack is bounded in bytes and seconds; the console is stopped by its PID.
"""

import os
import resource
import select
import socket
import subprocess
import sys
import tempfile
import threading
import time

import benchkit

START_TIMEOUT_S = 30.0
ATTACK_BUDGET_S = 60.0
HEADER_BYTES_MOST = 400 * 1024 * 1024
POST_ANNOUNCED = 500 * 1000 * 1000
PIPELINED = 100000
HALF_OPEN = 1000
HALF_OPEN_WAIT_S = 60.0
CHUNK = b"a" * 65536


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


class Watch:
    """Samples the console's memory and the FTP greeting time while an attack runs."""

    def __init__(self, pid, ftp_port):
        self.pid, self.ftp_port = pid, ftp_port
        self.peak, self.slowest_greeting, self.greetings = 0.0, 0.0, 0
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run)

    def _run(self):
        while not self._stop.wait(0.1):
            self.peak = max(self.peak, rss_mb(self.pid))
            started = time.monotonic()
            try:
                with socket.create_connection(("127.0.0.1", self.ftp_port), timeout=5) as ftp:
                    if ftp.recv(64).startswith(b"220"):
                        self.greetings += 1
                self.slowest_greeting = max(self.slowest_greeting, time.monotonic() - started)
            except OSError:
                self.slowest_greeting = max(self.slowest_greeting, 5.0)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join(10)


def status_of(sock):
    """The reply's status line if one came within a second, and whether the server closed."""
    sock.setblocking(False)
    received, deadline = b"", time.monotonic() + 1.0
    while time.monotonic() < deadline:
        readable, _, _ = select.select([sock], [], [], 0.1)
        if readable:
            try:
                data = sock.recv(65536)
            except OSError:
                return received.split(b"\r\n")[0].decode(errors="replace"), True
            if not data:
                return received.split(b"\r\n")[0].decode(errors="replace"), True
            received += data
    return received.split(b"\r\n")[0].decode(errors="replace"), False


def stream(port, head, body_bytes_most):
    """Sends the head, then filler until the server stops it, the bytes run out or the time does."""
    sent = 0
    with socket.create_connection(("127.0.0.1", port)) as sock:
        sock.sendall(head)
        sock.settimeout(2.0)
        deadline = time.monotonic() + ATTACK_BUDGET_S
        while sent < body_bytes_most and time.monotonic() < deadline:
            try:
                sent += sock.send(CHUNK)
            except (socket.timeout, OSError):
                break
        status, closed = status_of(sock)
    return "%s, %s after %d MB sent" % (status or "no reply", "closed" if closed else "open",
                                        sent // (1024 * 1024))


def pipeline(port, host):
    one = b"GET /help/index.html HTTP/1.1\r\nHost: " + host + b"\r\n\r\n"
    data, sent = one * PIPELINED, 0
    with socket.create_connection(("127.0.0.1", port)) as sock:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        sock.settimeout(5.0)
        deadline = time.monotonic() + ATTACK_BUDGET_S
        while sent < len(data) and time.monotonic() < deadline:
            try:
                sent += sock.send(data[sent:sent + 65536])
            except (socket.timeout, OSError):
                break
    return "%d of %d requests taken by the system before it stopped" % (sent // len(one), PIPELINED)


def half_open(port):
    sockets = []
    for _ in range(HALF_OPEN):
        sock = socket.create_connection(("127.0.0.1", port))
        sock.sendall(b"GET / HTTP/1.1\r\n")
        sockets.append(sock)
    open_ones, deadline = set(sockets), time.monotonic() + HALF_OPEN_WAIT_S
    while open_ones and time.monotonic() < deadline:
        readable, _, _ = select.select(list(open_ones), [], [], 0.5)
        for sock in readable:
            try:
                if not sock.recv(4096):
                    open_ones.discard(sock)
            except OSError:
                open_ones.discard(sock)
    result = "%d of %d still open after %.0f s" % (len(open_ones), HALF_OPEN,
                                                    time.monotonic() - deadline + HALF_OPEN_WAIT_S)
    for sock in sockets:
        sock.close()
    return result


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    console = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build-bench", "bin", "pelion")
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, max(soft, 4096)), hard))
    help_port, ftp_port = free_port(), free_port()
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home, XDG_RUNTIME_DIR=home,
                   QT_QPA_PLATFORM="offscreen", PELION_INSTANCE_FOLDER=home,
                   PELION_SYSTEM_SETTINGS=home, PELION_PEERS_FOLDER=home,
                   PELION_MESSAGE_LOG=os.path.join(home, "messages.log"),
                   PELION_HELP_PORT=str(help_port), PELION_FTP_PORT=str(ftp_port),
                   PELION_FTP_DATA_PORT=str(free_port()), PELION_TFTP_PORT=str(free_port()))
        log = open(os.path.join(home, "console.log"), "w")
        program = subprocess.Popen([console], env=env, stdout=log, stderr=subprocess.STDOUT)
        try:
            deadline = time.monotonic() + START_TIMEOUT_S
            while True:
                try:
                    socket.create_connection(("127.0.0.1", help_port), timeout=1).close()
                    break
                except OSError:
                    if time.monotonic() > deadline or program.poll() is not None:
                        sys.exit("the console's help server did not come up")
                    time.sleep(0.2)
            host = b"127.0.0.1:%d" % help_port
            attacks = [
                ("endless header", lambda: stream(help_port, b"GET / HTTP/1.1\r\nX: ", HEADER_BYTES_MOST)),
                ("500 MB POST", lambda: stream(
                    help_port, b"POST / HTTP/1.1\r\nHost: %s\r\nContent-Length: %d\r\n\r\n"
                    % (host, POST_ANNOUNCED), POST_ANNOUNCED)),
                ("unread pipeline", lambda: pipeline(help_port, host)),
                ("half-open", lambda: half_open(help_port)),
            ]
            for name, attack in attacks:
                before = rss_mb(program.pid)
                with Watch(program.pid, ftp_port) as watch:
                    outcome = attack()
                print("%-16s RSS %.0f MB before, %.0f MB at most; %s; slowest FTP greeting %.2f s (%d)"
                      % (name, before, max(watch.peak, before), outcome, watch.slowest_greeting,
                         watch.greetings))
        finally:
            benchkit.stop(program)
            log.close()


if __name__ == "__main__":
    main()
