#!/usr/bin/env python3
"""TFTP request latency under a flood of unanswered read requests.

Starts tallis-serve on loopback, sends 1010 read requests one after the
other, each from a loopback address of its own (127.3.x.y) and never
acknowledged, so that every session the server starts stays alive for its
whole retry time. Then it times the answer to one more request. Prints the
median and the slowest answer during the flood and the latency of that last
request, in milliseconds, and what the answers were (DATA or an error).

Usage: bench/tftp_flood_latency.py [HOST-PROGRAM]  (default build-bench/bin/tallis-serve)
Every wait is bounded; the host is stopped by its PID.
"""

import os
import re
import socket
import statistics
import subprocess
import sys
import tempfile
import time

import benchkit

REQUESTS = 1010
ANSWER_TIMEOUT_S = 5.0
FLOOD_BUDGET_S = 240.0
START_TIMEOUT_S = 30.0


def request(name):
    return b"\x00\x01" + name + b"\x00octet\x00"


def ask(port, index):
    """One read request from its own address: (seconds to the answer or None, kind)."""
    address = "127.3.%d.%d" % (index // 250, index % 250 + 1)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.bind((address, 0))
        sock.settimeout(ANSWER_TIMEOUT_S)
        started = time.perf_counter()
        sock.sendto(request(b"a.bin"), ("127.0.0.1", port))
        try:
            answer = sock.recv(1024)
        except socket.timeout:
            return None, "none"
        taken = time.perf_counter() - started
    opcode = answer[1] if len(answer) > 1 else -1
    if opcode == 3:
        return taken, "DATA"
    if opcode == 5:
        return taken, "error %d %s" % (answer[3], answer[4:-1].decode(errors="replace"))
    return taken, "opcode %d" % opcode


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    host = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build-bench", "bin", "tallis-serve")
    with tempfile.TemporaryDirectory() as root:
        with open(os.path.join(root, "a.bin"), "wb") as file:
            file.write(os.urandom(4096))
        log = open(os.path.join(root, "host.log"), "w+")
        server = subprocess.Popen(
            [host, "--root", root, "--ftp-port", "0", "--tftp-port", "0", "--no-tray"],
            stdout=log, stderr=subprocess.STDOUT)
        try:
            port = None
            deadline = time.monotonic() + START_TIMEOUT_S
            while port is None and time.monotonic() < deadline and server.poll() is None:
                log.seek(0)
                found = re.search(r"^TFTP listening on port (\d+)$", log.read(), re.M)
                if found:
                    port = int(found.group(1))
                else:
                    time.sleep(0.1)
            if port is None:
                sys.exit("host did not come up")

            latencies = []
            kinds = {}
            flood_end = time.monotonic() + FLOOD_BUDGET_S
            for index in range(REQUESTS):
                if time.monotonic() > flood_end:
                    print("flood stopped after %d requests (time budget)" % index)
                    break
                taken, kind = ask(port, index)
                kinds[kind] = kinds.get(kind, 0) + 1
                if taken is not None:
                    latencies.append(taken * 1000)
            taken, kind = ask(port, REQUESTS)
            print("answers during the flood: %s" % ", ".join("%s x%d" % item for item in sorted(kinds.items())))
            if latencies:
                print("flood latency: median %.2f ms, slowest %.2f ms"
                      % (statistics.median(latencies), max(latencies)))
            print("next request: %s after %s" % (kind, "no answer" if taken is None else "%.2f ms" % (taken * 1000)))
        finally:
            benchkit.stop(server)
            log.close()


if __name__ == "__main__":
    main()
