"""The host program itself: --help, --version, refused ports, its lines."""

import os
import socket
import subprocess
import tempfile
import unittest
from ftplib import FTP

from serverhost import ServerHost, host_command, write

RUN_TIMEOUT_S = 30


def run_host(*arguments):
    return subprocess.run(host_command(*arguments), capture_output=True, text=True,
                          timeout=RUN_TIMEOUT_S)


class TallisServe(unittest.TestCase):
    def test_version_and_help(self):
        self.assertEqual(run_host("--version").stdout,
                         "tallis-serve %s\n" % os.environ["PELION_PROJECT_VERSION"])
        usage = run_host("--help")
        self.assertEqual(usage.returncode, 0)
        for option in ("--root", "--ftp-port", "--ftp-data-port", "--tftp-port", "--tftp-rollover",
                       "--no-tray"):
            self.assertIn(option, usage.stdout)

    def test_refused_ports_give_their_reason(self):
        for protocol, kind, taken_option, free_option in [
                ("TFTP", socket.SOCK_DGRAM, "--tftp-port", "--ftp-port"),
                ("FTP", socket.SOCK_STREAM, "--ftp-port", "--tftp-port")]:
            with self.subTest(protocol), socket.socket(socket.AF_INET, kind) as taken, \
                    tempfile.TemporaryDirectory() as root:
                taken.bind(("0.0.0.0", 0))
                if kind == socket.SOCK_STREAM:
                    taken.listen(1)
                port = taken.getsockname()[1]
                result = run_host("--no-tray", "--root", root, free_option, "0", taken_option,
                                  str(port))
                self.assertEqual(result.returncode, 1)
                self.assertIn("cannot serve %s on port %d" % (protocol, port), result.stderr)
        result = run_host("--no-tray", "--ftp-port", "70000")
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("port", result.stderr)
        result = run_host("--no-tray", "--tftp-rollover", "2")
        self.assertEqual(result.returncode, 2)
        self.assertIn("--tftp-rollover is 0 or 1", result.stderr)

    def test_lines_for_sessions_and_transfers_then_clean_end(self):
        with tempfile.TemporaryDirectory() as root:
            write(os.path.join(root, "image.bin"), b"x" * 1000)
            with ServerHost(root) as host:
                ftp = FTP()
                ftp.connect("127.0.0.1", host.ports["FTP"], timeout=RUN_TIMEOUT_S)
                ftp.set_pasv(False)
                ftp.login("user", "any")
                received = bytearray()
                ftp.retrbinary("RETR image.bin", received.extend)
                ftp.quit()
                self.assertEqual(len(received), 1000)
                self.assertTrue(host.wait_for_line(r"^FTP session 1 from 127\.0\.0\.1 closed"))
            self.assertEqual(host.returncode, 0)
            self.assertEqual([line for line in host.lines if line.startswith("FTP session")],
                             ["FTP session 1 opened from 127.0.0.1 (1 open)",
                              "FTP session 1 sending /image.bin", "FTP session 1 transfer ended",
                              "FTP session 1 from 127.0.0.1 closed (0 open)"])


if __name__ == "__main__":
    unittest.main()
