"""Runs the host program PELION_SERVER with port 0 for every listener and no tray."""

import os
import pathlib
import re
import shlex
import signal
import subprocess
import tempfile
import threading
import time
import unittest

_LISTENING = re.compile(r"^(FTP|TFTP) listening on port (\d+)\s*$")
START_TIMEOUT_S = 30  # under the sanitizers a host is slow to come up


def host_command(*arguments):
    return shlex.split(os.environ["PELION_SERVER"]) + list(arguments)


def wait_for(condition, timeout):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.02)
    return True


class ServerHost:
    """`with ServerHost(root, *more_arguments) as host: host.ports["FTP"]`; it gathers the host's
    lines."""

    def __init__(self, root, *arguments):
        self.ports, self.lines = {}, []
        self._process = subprocess.Popen(
            host_command("--root", root, "--ftp-port", "0", "--tftp-port", "0", "--no-tray",
                         *arguments),
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def __enter__(self):
        if not wait_for(lambda: len(self.ports) == 2 or not self._reader.is_alive(),
                        START_TIMEOUT_S) or len(self.ports) < 2:
            self.__exit__()
            raise RuntimeError("host did not come up: %r" % self.lines)
        return self

    def _read(self):
        for line in self._process.stdout:
            self.lines.append(line.rstrip("\n"))
            match = _LISTENING.match(line)
            if match:
                self.ports[match.group(1)] = int(match.group(2))

    def wait_for_line(self, pattern, timeout=10.0):
        return wait_for(lambda: any(re.search(pattern, line) for line in list(self.lines)), timeout)

    def __exit__(self, *exc):
        self._process.send_signal(signal.SIGTERM)
        try:
            self.returncode = self._process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self._process.kill()
            self.returncode = self._process.wait()
        self._reader.join(timeout=5)
        self._process.stdout.close()
        return False


def read(path):
    return pathlib.Path(path).read_bytes()


def write(path, data):
    pathlib.Path(path).write_bytes(data)


class HostCase(unittest.TestCase):
    """One host per class serving served/ beside local/, both filled by prepare()."""

    PROTOCOL = "FTP"
    HOST_ARGUMENTS = ()  # further host options, e.g. ("--extended",)

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.root, cls.local = (os.path.join(cls.tmp.name, n) for n in ("served", "local"))
        os.makedirs(cls.root)
        os.makedirs(cls.local)
        cls.prepare()
        cls.host = ServerHost(cls.root, *cls.HOST_ARGUMENTS).__enter__()
        cls.port = cls.host.ports[cls.PROTOCOL]

    @classmethod
    def tearDownClass(cls):
        cls.host.__exit__()
        cls.tmp.cleanup()
        if cls.host.returncode != 0:
            raise AssertionError("host ended with %r: %s" % (cls.host.returncode,
                                                             cls.host.lines[-20:]))

    def served(self, *names):
        return os.path.join(self.root, *names)

    def in_local(self, name):
        return os.path.join(self.local, name)
