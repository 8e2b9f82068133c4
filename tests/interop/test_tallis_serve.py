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


def family(address):
    return socket.AF_INET6 if ":" in address else socket.AF_INET


def ftp_retrieve(address, port, name):
    """One RETR from the address itself, the data connection awaited there only: PORT names
    another one, as the host connects back to the control connection's peer."""
    with socket.create_server((address, 0), family=family(address)) as data:
        data.settimeout(RUN_TIMEOUT_S)
        ftp = FTP()
        ftp.connect(address, port, timeout=RUN_TIMEOUT_S, source_address=(address, 0))
        ftp.login("user", "any")
        ftp.sendport("127.9.9.9", data.getsockname()[1])
        ftp.putcmd("RETR " + name)
        ftp.getresp()
        connection, _ = data.accept()
        with connection:
            received = b"".join(iter(lambda: connection.recv(65536), b""))
        ftp.voidresp()
        ftp.quit()
        return received


def tftp_read_short(address, port, name):
    """A read of a file shorter than one block: its bytes, and the address that sent them."""
    with socket.socket(family(address), socket.SOCK_DGRAM) as client:
        client.settimeout(RUN_TIMEOUT_S)
        client.bind((address, 0))
        client.sendto(b"\0\1" + name.encode() + b"\0octet\0", (address, port))
        answer, sender = client.recvfrom(65536)
        client.sendto(b"\0\4" + answer[2:4], sender)
        return answer[4:], sender[0]


def refused(address, port):
    """Whether neither FTP nor TFTP is served at the address: the system refuses both."""
    try:
        socket.create_connection((address, port["FTP"]), timeout=RUN_TIMEOUT_S).close()
        return False
    except ConnectionRefusedError:
        pass
    with socket.socket(family(address), socket.SOCK_DGRAM) as client:
        client.settimeout(RUN_TIMEOUT_S)
        client.connect((address, port["TFTP"]))
        client.send(b"\0\1small.bin\0octet\0")
        try:
            client.recv(65536)
            return False
        except ConnectionRefusedError:
            return True


class TallisServe(unittest.TestCase):
    def test_version_and_help(self):
        self.assertEqual(run_host("--version").stdout,
                         "tallis-serve %s\n" % os.environ["PELION_PROJECT_VERSION"])
        usage = run_host("--help")
        self.assertEqual(usage.returncode, 0)
        for option in ("--root", "--ftp-port", "--ftp-data-port", "--tftp-port", "--tftp-rollover",
                       "--no-tray", "--listen", "--extended", "--passive-ports"):
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

    def test_listen_serves_the_chosen_addresses_only(self):
        for chosen, served, left in [
                (["127.0.0.1"], ["127.0.0.1"], ["::1"]),
                (["::1"], ["::1"], ["127.0.0.1"]),
                (["[::1]", "127.0.0.2"], ["::1", "127.0.0.2"], ["127.0.0.1"]),
                ([], ["127.0.0.1", "::1"], [])]:
            arguments = [word for address in chosen for word in ("--listen", address)]
            with self.subTest(chosen=chosen), tempfile.TemporaryDirectory() as root:
                write(os.path.join(root, "image.bin"), b"i" * 1000)
                write(os.path.join(root, "small.bin"), b"s" * 100)
                with ServerHost(root, *arguments) as host:
                    for address in served:
                        self.assertEqual(ftp_retrieve(address, host.ports["FTP"], "image.bin"),
                                         b"i" * 1000)
                        self.assertEqual(tftp_read_short(address, host.ports["TFTP"],
                                                         "small.bin"), (b"s" * 100, address))
                    for address in left:
                        self.assertTrue(refused(address, host.ports), address)
                self.assertEqual(host.returncode, 0)
                self.assertEqual(len([line for line in host.lines if "listening on port" in line]),
                                 2, host.lines)
                if "::1" in served:
                    self.assertIn("FTP session 1 opened from %s (1 open)" % served[0], host.lines)

    def test_bad_listen_address(self):
        with tempfile.TemporaryDirectory() as root:
            result = run_host("--no-tray", "--root", root, "--listen", "127.0.0.1", "--listen",
                              "localhost")
            self.assertEqual(result.returncode, 2)
            self.assertIn('not "localhost"', result.stderr)
            # An address, but not this host's: the system's reason, as for a taken port.
            result = run_host("--no-tray", "--root", root, "--ftp-port", "0", "--tftp-port", "0",
                              "--listen", "192.0.2.1")
            self.assertEqual(result.returncode, 1)
            self.assertIn("cannot serve TFTP on port 0 of 192.0.2.1:", result.stderr)

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
