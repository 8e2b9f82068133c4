"""Starts a file server host program for interop tests and stops it again.

The host is given a served folder, port 0 for every listener and no tray
icon (extra arguments may follow); it prints
"FTP listening on port N" and "TFTP listening on port N" once each listener
is up. The program comes from the PELION_SERVER environment variable, so the
same tests run against every host (the test hosts and tallis-serve).
"""

import os
import re
import shlex
import signal
import subprocess
import threading
import time

_LISTENING = re.compile(r"^(FTP|TFTP) listening on port (\d+)\s*$")

# How long a host may take to come up (under the sanitizers it is slow).
START_TIMEOUT_S = 30


class ServerHost:
    """Context manager: `with ServerHost(root, ["FTP"]) as host: host.ports["FTP"]`."""

    def __init__(self, root, wanted=("FTP", "TFTP"), extra_args=()):
        command = os.environ.get("PELION_SERVER")
        if not command:
            raise RuntimeError("PELION_SERVER names no host program")
        self.command = (
            shlex.split(command)
            + ["--root", root, "--ftp-port", "0", "--tftp-port", "0", "--no-tray"]
            + list(extra_args)
        )
        self.wanted = set(wanted)
        self.ports = {}
        self.lines = []
        self._process = None
        self._ready = threading.Event()
        self._reader = None

    def __enter__(self):
        self._process = subprocess.Popen(
            self.command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True
        )
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        if not self._ready.wait(START_TIMEOUT_S):
            self.__exit__(None, None, None)
            raise RuntimeError("host did not come up: %r" % self.lines)
        return self

    def _read(self):
        for line in self._process.stdout:
            self.lines.append(line.rstrip("\n"))
            match = _LISTENING.match(line)
            if match:
                self.ports[match.group(1)] = int(match.group(2))
                if self.wanted.issubset(self.ports):
                    self._ready.set()
        # The host ended: nobody waits for it any longer.
        self._ready.set()

    def wait_for_line(self, pattern, timeout=10.0):
        """Waits until the host printed a line matching pattern; returns it or None."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for line in list(self.lines):
                if regex.search(line):
                    return line
            time.sleep(0.02)
        return None

    def __exit__(self, *exc):
        if self._process and self._process.poll() is None:
            self._process.send_signal(signal.SIGTERM)
            try:
                self._process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        if self._reader:
            self._reader.join(timeout=5)
        return False

    @property
    def returncode(self):
        return self._process.returncode if self._process else None
