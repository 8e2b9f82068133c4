#!/usr/bin/env python3
"""TFTP transfers beside junk at the listener and busy FTP clients.

Starts tallis-serve on loopback and runs FETCHES gets of a 64 KiB file with tftp-hpa, eight
at a time, twice: once quiet, once while JUNK datagrams a second (other opcodes, requests
without their zero byte) reach the listener's port and FTP_CLIENTS clients keep opening
control connections. Prints, for each run, the transfers that failed, the slowest one, and
the listener's receive queue at its fullest (from /proc/net/udp).

Usage: bench/tftp_junk.py [HOST-PROGRAM] [JUNK-PER-SECOND] [FTP-CLIENTS]
       (defaults build-bench/bin/tallis-serve, 200, 50)
Loopback only; every run is bounded in count and time; the host is stopped by its PID.
"""

import concurrent.futures
import os
import random
import re
import socket
import subprocess
import sys
import tempfile
import threading
import time

import benchkit

FETCHES = 200
AT_ONCE = 8
CLIENT_TIMEOUT_S = 60
RUN_BUDGET_S = 300.0
START_TIMEOUT_S = 30.0
SIZE = 64 * 1024


def receive_queue(port):
    """The bytes waiting in the receive queue of the UDP socket bound to port."""
    most = 0
    for table in ("/proc/net/udp", "/proc/net/udp6"):
        try:
            with open(table) as lines:
                for line in list(lines)[1:]:
                    fields = line.split()
                    if int(fields[1].split(":")[1], 16) == port:
                        most = max(most, int(fields[4].split(":")[1], 16))
        except OSError:
            pass
    return most


def run(tftp_port, ftp_port, local, junk_rate, ftp_clients):
    stop, peak = threading.Event(), [0]
    helpers = []

    def junk():
        rng = random.Random(24)
        kinds = [b"\x00\x03\x00\x01", b"\x00\x04\x00\x07", b"\x00\x01no-end", b"\x00\x09", b"\xff"]
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
            per_tick = max(1, junk_rate // 100)
            while not stop.wait(0.01):
                for _ in range(per_tick):
                    sender.sendto(rng.choice(kinds) + rng.randbytes(rng.randrange(600)),
                                  ("127.0.0.1", tftp_port))

    def ftp_client():
        while not stop.is_set():
            try:
                with socket.create_connection(("127.0.0.1", ftp_port), timeout=5) as ftp:
                    ftp.recv(256)
                    ftp.sendall(b"USER anonymous\r\n")
                    ftp.recv(256)
                    ftp.sendall(b"QUIT\r\n")
                    ftp.recv(256)
            except OSError:
                pass

    def queue_watch():
        while not stop.wait(0.05):
            peak[0] = max(peak[0], receive_queue(tftp_port))

    if junk_rate:
        helpers.append(threading.Thread(target=junk))
    helpers += [threading.Thread(target=ftp_client) for _ in range(ftp_clients)]
    helpers.append(threading.Thread(target=queue_watch))
    for helper in helpers:
        helper.start()
    deadline = time.monotonic() + RUN_BUDGET_S

    def fetch(index):
        if time.monotonic() > deadline:
            return None
        target = os.path.join(local, "got_%d" % index)
        started = time.monotonic()
        try:
            done = subprocess.run(["tftp", "127.0.0.1", str(tftp_port), "-m", "binary", "-c", "get",
                                   "a.bin", target], capture_output=True, timeout=CLIENT_TIMEOUT_S)
            ok = done.returncode == 0 and os.path.getsize(target) == SIZE
        except (subprocess.TimeoutExpired, OSError):
            ok = False
        return ok, time.monotonic() - started

    try:
        with concurrent.futures.ThreadPoolExecutor(AT_ONCE) as pool:
            results = [r for r in pool.map(fetch, range(FETCHES)) if r is not None]
    finally:
        stop.set()
        for helper in helpers:
            helper.join(10)
    failed = sum(1 for ok, _ in results if not ok)
    return "%d of %d failed, slowest %.2f s, listener queue at most %d bytes" % (
        failed, len(results), max((t for _, t in results), default=0), peak[0])


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    host = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build-bench", "bin", "tallis-serve")
    junk_rate = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    ftp_clients = min(int(sys.argv[3]) if len(sys.argv) > 3 else 50, 200)
    with tempfile.TemporaryDirectory() as root, tempfile.TemporaryDirectory() as local:
        with open(os.path.join(root, "a.bin"), "wb") as file:
            file.write(os.urandom(SIZE))
        log = open(os.path.join(local, "host.log"), "w+")
        server = subprocess.Popen(
            [host, "--root", root, "--ftp-port", "0", "--tftp-port", "0", "--no-tray"],
            stdout=log, stderr=subprocess.STDOUT)
        try:
            ports, deadline = {}, time.monotonic() + START_TIMEOUT_S
            while len(ports) < 2 and time.monotonic() < deadline and server.poll() is None:
                log.seek(0)
                ports = dict(re.findall(r"^(FTP|TFTP) listening on port (\d+)$", log.read(), re.M))
                if len(ports) < 2:
                    time.sleep(0.1)
            if len(ports) < 2:
                sys.exit("host did not come up")
            tftp_port, ftp_port = int(ports["TFTP"]), int(ports["FTP"])
            print("quiet:      " + run(tftp_port, ftp_port, local, 0, 0))
            print("junk %d/s, %d FTP clients: %s" % (junk_rate, ftp_clients,
                                                     run(tftp_port, ftp_port, local, junk_rate, ftp_clients)))
        finally:
            benchkit.stop(server)
            log.close()


if __name__ == "__main__":
    main()
