"""FTP interop in the extended mode: curl, wget, lftp, ftplib and busybox in passive mode
(curl also over ::1, active with EPRT, and resuming) against the host on loopback; a passive
port takes the control peer's connection only and goes with its session. The dialogue without
the mode is tst_cFtpSession's (every extended command 502, an empty file 550)."""

import contextlib
import ftplib
import hashlib
import io
import os
import socket
import subprocess
import time
import unittest
from unittest import mock

from serverhost import HostCase, read, wait_for, write

SIZES = [0, 1, 600, 8 << 20]
BIG = SIZES[-1]
CLIENT_TIMEOUT_S = 60
PORT_CLOSE_TIMEOUT_S = 10  # also how long a refused connection may stay open
# MDTM is UTC whatever the server's zone: the host runs in one far from it.
HOST_ZONE = "IST-5:30"
MTIME = 1700000000
DONE = "226 Closing data connection, file transfer successful"
LFTP = ("set net:timeout 5; set net:max-retries 2; set cmd:fail-exit yes; set xfer:clobber on; "
        "open -u equipment,secret %s; %s")
STRANGER = "127.0.0.2"


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=CLIENT_TIMEOUT_S,
                          **kwargs)


def digest(path):
    return hashlib.sha256(read(path)).hexdigest()


def ipv6_loopback_binds():
    try:
        with socket.socket(socket.AF_INET6, socket.SOCK_STREAM) as probe:
            probe.bind(("::1", 0))
        return True
    except OSError:
        return False


def listening(port):
    """Whether a TCP socket listens on port, IPv4 or IPv6 (state 0A in /proc/net/tcp*)."""
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        with contextlib.suppress(FileNotFoundError), open(table) as rows:
            for row in list(rows)[1:]:
                fields = row.split()
                if fields[3] == "0A" and int(fields[1].rsplit(":", 1)[1], 16) == port:
                    return True
    return False


def read_to_end(connection):
    received = bytearray()
    try:
        while chunk := connection.recv(65536):
            received += chunk
    except ConnectionResetError:
        pass
    return bytes(received)


class ExtendedMode(HostCase):
    HOST_ARGUMENTS = ("--extended",)

    @classmethod
    def setUpClass(cls):
        with mock.patch.dict(os.environ, TZ=HOST_ZONE):
            super().setUpClass()

    @classmethod
    def prepare(cls):
        os.makedirs(os.path.join(cls.root, "sub"))
        for size in SIZES:
            served = os.path.join(cls.root, "f%d.bin" % size)
            write(served, os.urandom(size))
            os.utime(served, (MTIME, MTIME))
            write(os.path.join(cls.local, "src%d.bin" % size), os.urandom(size))

    def url(self, host="127.0.0.1"):
        return "ftp://%s:%d" % (host, self.port)

    def login(self):
        ftp = ftplib.FTP()
        ftp.connect("127.0.0.1", self.port, timeout=CLIENT_TIMEOUT_S)
        self.addCleanup(ftp.close)
        ftp.login("equipment", "secret")
        return ftp

    def passive_port(self, ftp, verb):
        reply = ftp.sendcmd(verb)
        if verb == "PASV":
            return ftplib.parse227(reply)[1]
        return ftplib.parse229(reply, ftp.sock.getpeername())[1]

    # Each client gets [(remote, local)] and puts [(local, remote)] and returns its log.
    def curl(self, gets, puts, options=(), host="127.0.0.1"):
        log, url = "", self.url(host)
        for args in [["-o", local, "%s/%s" % (url, remote)] for remote, local in gets] + [
                ["-T", local, "%s/%s" % (url, remote)] for local, remote in puts]:
            result = run(["curl", "-sS", "-v", "--max-time", str(CLIENT_TIMEOUT_S), *options,
                          *args])
            self.assertEqual(result.returncode, 0, result.stderr)
            log += result.stderr
        return log

    def wget(self, gets, puts):
        self.assertFalse(puts)
        log = ""
        for remote, local in gets:
            result = run(["wget", "-d", "--tries=1", "--timeout=%d" % CLIENT_TIMEOUT_S, "-O", local,
                          "%s/%s" % (self.url(), remote)])
            self.assertEqual(result.returncode, 0, result.stderr)
            log += result.stderr
        return log

    def lftp(self, gets, puts):
        commands = ["get %s -o %s" % names for names in gets]
        commands += ["put %s -o %s" % names for names in puts]
        result = run(["lftp", "-d", "-c", LFTP % (self.url(), "; ".join(commands))],
                     cwd=self.local)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stderr

    def ftplib(self, gets, puts):
        ftp = self.login()
        with contextlib.redirect_stdout(io.StringIO()) as log:
            ftp.set_debuglevel(1)
            for remote, local in gets:
                with open(local, "wb") as target:
                    self.assertEqual(ftp.retrbinary("RETR " + remote, target.write), DONE)
            for local, remote in puts:
                with open(local, "rb") as source:
                    self.assertEqual(ftp.storbinary("STOR " + remote, source), DONE)
            ftp.quit()
        return log.getvalue()

    def busybox(self, gets, puts):
        log = ""
        for tool, first, second in [("ftpget", l, r) for r, l in gets] + [
                ("ftpput", r, l) for l, r in puts]:
            result = run(["busybox", tool, "-v", "-u", "equipment", "-p", "secret", "-P",
                          str(self.port), "127.0.0.1", first, second])
            self.assertEqual(result.returncode, 0, result.stderr)
            log += result.stderr
        return log

    def round_trip(self, tag, transfer, sizes, stores):
        gets = [("f%d.bin" % size, self.in_local("%s_get%d" % (tag, size))) for size in sizes]
        puts = [(self.in_local("src%d.bin" % size), "%s_put%d" % (tag, size))
                for size in sizes] if stores else []
        log = transfer(gets, puts)
        for source, target in [(self.served(r), l) for r, l in gets] + [
                (l, self.served(r)) for l, r in puts]:
            self.assertEqual(digest(target), digest(source), target)
            os.remove(target)
        return log

    def test_each_client_round_trips_every_size_in_passive_mode(self):
        for client, transfer, stores, expected in [
                ("curl", self.curl, True, ["> EPSV", "< 229 Entering Extended Passive Mode"]),
                ("curl_pasv", lambda g, p: self.curl(g, p, ["--disable-epsv"]), True,
                 ["> PASV", "< 227 Entering Passive Mode (127,0,0,1,"]),
                ("wget", self.wget, False, ["--> PASV", "227 Entering Passive Mode (127,0,0,1,"]),
                ("lftp", self.lftp, True, ["---> PASV", "<--- 227 Entering Passive Mode"]),
                ("ftplib", self.ftplib, True, ["*cmd* 'PASV'", "*resp* '227 Entering Passive"]),
                ("busybox", self.busybox, True, ["cmd EPSV"])]:
            with self.subTest(client):
                log = self.round_trip(client, transfer, SIZES, stores)
                for line in expected:
                    self.assertIn(line, log)

    @unittest.skipUnless(ipv6_loopback_binds(), "::1 cannot be bound on this machine")
    def test_curl_over_ipv6_passive_and_active(self):
        for mode, options, expected in [
                ("EPSV", [], ["> EPSV", "< 229 Entering Extended Passive Mode"]),
                ("EPRT", ["-P", "-"], ["> EPRT |2|::1|", "< 200 EPRT command successful"])]:
            with self.subTest(mode):
                log = self.round_trip("v6" + mode, lambda g, p: self.curl(
                    g, p, options, host="[::1]"), [600, BIG], True)
                for line in expected:
                    self.assertIn(line, log)

    def test_curl_resumes_the_second_half(self):
        local, half = self.in_local("resumed"), BIG // 2
        write(local, read(self.served("f%d.bin" % BIG))[:half])
        log = self.curl([("f%d.bin" % BIG, local)], [], ["-C", "-"])
        self.assertIn("> REST %d" % half, log)
        self.assertIn("< 350 Restarting at %d" % half, log)
        self.assertEqual(digest(local), digest(self.served("f%d.bin" % BIG)))

    def test_cdup_leaves_a_subfolder(self):
        ftp = self.login()
        with contextlib.redirect_stdout(io.StringIO()) as log:
            ftp.set_debuglevel(1)
            ftp.cwd("sub")
            self.assertEqual(ftp.pwd(), "/sub/")
            ftp.cwd("..")  # ftplib asks CDUP for this, falling back to CWD only on a 500
            self.assertEqual(ftp.pwd(), "/")
        self.assertIn("*cmd* 'CDUP'", log.getvalue())

    def test_features_sizes_and_times(self):
        ftp = ftplib.FTP()
        ftp.connect("127.0.0.1", self.port, timeout=CLIENT_TIMEOUT_S)
        self.addCleanup(ftp.close)
        # Clients ask before they log in.
        self.assertEqual(ftp.sendcmd("FEAT").splitlines(), [
            "211-Features:", " EPRT", " EPSV", " MDTM", " PASV", " REST STREAM", " SIZE", " UTF8",
            "211 End"])
        ftp.login("equipment", "secret")
        mtime = time.strftime("%Y%m%d%H%M%S", time.gmtime(MTIME))
        for size in SIZES:
            with self.subTest(size=size):
                self.assertEqual(ftp.size("f%d.bin" % size), size)
                self.assertEqual(ftp.sendcmd("MDTM f%d.bin" % size), "213 " + mtime)
        for command in ("SIZE missing.bin", "MDTM missing.bin", "SIZE sub"):
            with self.subTest(command), self.assertRaises(ftplib.error_perm) as refused:
                ftp.sendcmd(command)
            self.assertEqual(refused.exception.args[0], "550 Could not get file status.")

    def test_passive_port_takes_the_control_peer_only(self):
        served = read(self.served("f600.bin"))
        for verb in ("PASV", "EPSV"):
            for stranger_before_retr in (True, False):
                with self.subTest(verb=verb, stranger_before_retr=stranger_before_retr):
                    ftp = self.login()
                    port = self.passive_port(ftp, verb)
                    if not stranger_before_retr:
                        self.assertTrue(ftp.sendcmd("RETR f600.bin").startswith("150 "))
                    with socket.socket() as stranger:
                        stranger.settimeout(PORT_CLOSE_TIMEOUT_S)
                        stranger.bind((STRANGER, 0))
                        stranger.connect(("127.0.0.1", port))
                        self.assertEqual(read_to_end(stranger), b"")
                    if stranger_before_retr:
                        self.assertTrue(ftp.sendcmd("RETR f600.bin").startswith("150 "))
                    with socket.create_connection(("127.0.0.1", port),
                                                  timeout=CLIENT_TIMEOUT_S) as data:
                        self.assertEqual(read_to_end(data), served)
                    self.assertEqual(ftp.voidresp(), DONE)
                    ftp.quit()
                    self.assertTrue(wait_for(lambda: not listening(port), PORT_CLOSE_TIMEOUT_S))

    def test_an_unused_passive_port_closes(self):
        endings = {"QUIT": lambda ftp: ftp.quit(), "control closed": lambda ftp: ftp.close(),
                   "PORT": lambda ftp: ftp.sendcmd("PORT 127,0,0,1,4,1"),
                   "EPRT": lambda ftp: ftp.sendcmd("EPRT |1|127.0.0.1|1025|"),
                   "EPSV": lambda ftp: ftp.sendcmd("EPSV")}
        for verb, ending in [("PASV", "QUIT"), ("EPSV", "QUIT"), ("EPSV", "control closed"),
                             ("EPSV", "PORT"), ("PASV", "EPRT"), ("PASV", "EPSV")]:
            with self.subTest(verb=verb, ending=ending):
                ftp = self.login()
                port = self.passive_port(ftp, verb)
                self.assertTrue(listening(port))
                endings[ending](ftp)
                self.assertTrue(wait_for(lambda: not listening(port), PORT_CLOSE_TIMEOUT_S))


if __name__ == "__main__":
    unittest.main()
