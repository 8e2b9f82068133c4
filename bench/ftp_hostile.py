#!/usr/bin/env python3
"""Hostile FTP clients against tallis-serve on loopback; prints figures.

  bench/ftp_hostile.py [path/to/tallis-serve]   (default: build-bench/bin/tallis-serve)

1. A client that sends an 11.7 MB burst of "X\\n" and reads nothing: the
   server's resident memory (VmRSS, peak VmHWM) and the greeting latency of
   a second client meanwhile.
2. 3000 pipelined LIST commands against a data port that never accepts: the
   server's open descriptors, before and at most.
3. Descriptors run out (the server runs with RLIMIT_NOFILE 64 and idle
   control connections fill its table): CPU the server burns while full, and
   whether a new client is greeted once the idle ones have gone.
Every wait is bounded; only loopback is used; the server is ended by its PID.
"""

import os
import resource
import socket
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "interop"))
from serverhost import ServerHost  # noqa: E402

HOST = "127.0.0.1"


def status_kib(pid, key):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return -1


def descriptors(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def greeting_latency(port, timeout=10.0):
    start = time.monotonic()
    try:
        with socket.create_connection((HOST, port), timeout=timeout) as client:
            line = client.recv(200)
    except OSError:
        return None
    return time.monotonic() - start if line.startswith(b"220 ") else None


def never_reading(pid, port):
    before = status_kib(pid, "VmRSS")
    client = socket.create_connection((HOST, port))
    client.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    client.settimeout(2.0)
    burst = b"X\n" * (11700000 // 2)
    sent = 0
    deadline = time.monotonic() + 60
    while sent < len(burst) and time.monotonic() < deadline:
        try:
            sent += client.send(burst[sent:sent + 65536])
        except socket.timeout:
            break  # the server stopped reading
    time.sleep(1.0)
    latency = greeting_latency(port)
    after = status_kib(pid, "VmRSS")
    peak = status_kib(pid, "VmHWM")
    client.close()
    print("never-reading client: sent %.1f MB; VmRSS %d -> %d KiB (peak %d KiB); "
          "second greeting after %s s" % (sent / 1e6, before, after, peak,
                                          "%.3f" % latency if latency is not None else "none"))


def list_flood(pid, port):
    blocked = socket.socket()
    blocked.bind((HOST, 0))
    blocked.listen(0)
    data_port = blocked.getsockname()[1]
    filler = socket.create_connection((HOST, data_port))  # takes the queue of one
    client = socket.create_connection((HOST, port))
    client.settimeout(5)
    client.recv(200)
    client.sendall(b"USER a\r\nPASS b\r\nPORT 127,0,0,1,%d,%d\r\n" % (data_port // 256, data_port % 256))
    before = descriptors(pid)
    client.sendall(b"LIST\r\n" * 3000)
    most = before
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        most = max(most, descriptors(pid))
        time.sleep(0.05)
    print("3000 pipelined LIST, data port never accepts: descriptors %d before, %d at most"
          % (before, most))
    client.close()
    filler.close()
    blocked.close()


def accept_recovery(server):
    def low_limit():
        resource.setrlimit(resource.RLIMIT_NOFILE, (64, 64))

    root = os.path.join("/tmp", "ftp_hostile_%d" % os.getpid())
    os.makedirs(root, exist_ok=True)
    process = subprocess.Popen([server, "--root", root, "--ftp-port", "0", "--tftp-port", "0",
                                "--no-tray"], stdout=subprocess.PIPE, text=True,
                               preexec_fn=low_limit)
    port = None
    deadline = time.monotonic() + 30
    while port is None and time.monotonic() < deadline:
        line = process.stdout.readline()
        if line.startswith("FTP listening on port"):
            port = int(line.split()[-1])
    idle = []
    for _ in range(80):
        try:
            idle.append(socket.create_connection((HOST, port), timeout=2))
        except OSError:
            break
    time.sleep(0.5)
    cpu_before = cpu_seconds(process.pid)
    stuck = socket.create_connection((HOST, port), timeout=2)
    stuck.settimeout(3)
    try:
        answer = stuck.recv(200)
        stuck_result = "closed at once" if answer == b"" else "greeted"
    except OSError:
        stuck_result = "left waiting"
    time.sleep(2.0)
    cpu_full = cpu_seconds(process.pid) - cpu_before
    for connection in idle:
        connection.close()
    time.sleep(1.0)
    latency = greeting_latency(port, timeout=5)
    print("descriptors full (limit 64, %d idle clients): a client beyond the limit %s; "
          "server CPU %.2f s in 5 s; after the idle ones left a new client %s"
          % (len(idle), stuck_result, cpu_full,
             "is greeted in %.3f s" % latency if latency is not None else "is never greeted"))
    stuck.close()
    process.terminate()
    process.wait(timeout=10)


def main():
    server = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build-bench", "bin", "tallis-serve")
    os.environ["PELION_SERVER"] = server
    root = os.path.join("/tmp", "ftp_hostile_root_%d" % os.getpid())
    os.makedirs(root, exist_ok=True)
    for index in range(200):
        with open(os.path.join(root, "file%03d.txt" % index), "w") as handle:
            handle.write("x" * index)
    with ServerHost(root, ["FTP"]) as host:
        pid = host._process.pid
        never_reading(pid, host.ports["FTP"])
        list_flood(pid, host.ports["FTP"])
    accept_recovery(server)


if __name__ == "__main__":
    main()
