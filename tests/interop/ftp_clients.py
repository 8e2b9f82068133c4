"""FTP interop: real clients in active mode against the FTP host on loopback.

curl, Python's ftplib and lftp log in, move through folders, list, and
retrieve and store files of several sizes, compared byte for byte. Every
client call is bounded by a time-out, and all traffic stays on 127.0.0.1.
"""

import ftplib
import hashlib
import os
import subprocess
import tempfile
import unittest

from serverhost import ServerHost

# File sizes moved by every client. A retrieve sends 256 bytes per turn of
# the server's event loop, so its time grows with the size while a store's
# hardly does: every client stores the largest file, and one retrieves it
# (curl, while another client stores).
SMALL_SIZES = [1, 255, 256, 257, 600]
MEDIUM_SIZE = 1 << 20
LARGE_SIZE = 64 << 20
RETRIEVE_SIZES = SMALL_SIZES + [MEDIUM_SIZE]
STORE_SIZES = [0] + SMALL_SIZES + [MEDIUM_SIZE, LARGE_SIZE]
# The files of every host's sub/ folder; curl's has the large one too.
SERVED_SIZES = [0] + RETRIEVE_SIZES
# Upper bound for one client call (a 64 MiB transfer under the sanitizers
# takes a few seconds).
CLIENT_TIMEOUT_S = 120
# lftp falls back from passive to active mode by reconnecting, at once here:
# its own pause before reconnecting is only waiting.
LFTP_SETTINGS = (
    "set net:timeout 5; set net:max-retries 2; set net:reconnect-interval-base 0; "
    "set cmd:fail-exit yes; set xfer:clobber on; "
)


def write_file(path, size):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        left = size
        while left:
            chunk = os.urandom(min(left, 1 << 20))
            out.write(chunk)
            left -= len(chunk)


def digest(path):
    sha = hashlib.sha256()
    with open(path, "rb") as data:
        for block in iter(lambda: data.read(1 << 20), b""):
            sha.update(block)
    return sha.hexdigest()


def run(command, **kwargs):
    return subprocess.run(
        command, capture_output=True, text=True, timeout=CLIENT_TIMEOUT_S, **kwargs
    )


class FtpHostCase(unittest.TestCase):
    """Starts one host per test class on a served folder with files of every size."""

    SERVED_SIZES = SERVED_SIZES

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.root = os.path.join(cls.tmp.name, "served")
        cls.local = os.path.join(cls.tmp.name, "local")
        os.makedirs(os.path.join(cls.root, "sub"))
        os.makedirs(cls.local)
        for size in cls.SERVED_SIZES:
            write_file(os.path.join(cls.root, "sub", "f%d.bin" % size), size)
        cls.host = ServerHost(cls.root, ["FTP"])
        cls.host.__enter__()
        cls.port = cls.host.ports["FTP"]
        cls.url = "ftp://127.0.0.1:%d" % cls.port

    @classmethod
    def tearDownClass(cls):
        cls.host.__exit__(None, None, None)
        cls.tmp.cleanup()
        # The host ends cleanly on SIGTERM (and, under the sanitizers, without leaks).
        if cls.host.returncode != 0:
            raise AssertionError(
                "host ended with %r: %s" % (cls.host.returncode, "\n".join(cls.host.lines))
            )

    def served(self, *names):
        return os.path.join(self.root, *names)

    def local_file(self, name):
        return os.path.join(self.local, name)

    def assertSameFile(self, got, expected):
        self.assertEqual(os.path.getsize(got), os.path.getsize(expected))
        self.assertEqual(digest(got), digest(expected))

    def upload_source(self, size):
        path = self.local_file("src%d.bin" % size)
        if not os.path.exists(path):
            write_file(path, size)
        return path


class CurlTest(FtpHostCase):
    """curl with -P: it asks for EPRT first, gets 502 and falls back to PORT."""

    SERVED_SIZES = SERVED_SIZES + [LARGE_SIZE]

    def curl(self, *args):
        return run(["curl", "-sS", "-v", "-P", "127.0.0.1", "--max-time", str(CLIENT_TIMEOUT_S)]
                   + list(args))

    def retrieve(self, size):
        out = self.local_file("curl_get%d" % size)
        result = self.curl("-o", out, "%s/sub/f%d.bin" % (self.url, size))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertSameFile(out, self.served("sub", "f%d.bin" % size))
        # The refused extended request did not stop it.
        self.assertIn("< 502 Command not implemented", result.stderr)
        self.assertIn("> PORT 127,0,0,1,", result.stderr)
        os.remove(out)

    def store(self, size):
        source = self.upload_source(size)
        name = "curl_up%d.bin" % size
        result = self.curl("-T", source, "%s/sub/%s" % (self.url, name))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("< 226 Closing data connection, file transfer successful", result.stderr)
        self.assertSameFile(self.served("sub", name), source)
        os.remove(self.served("sub", name))

    def test_retrieve(self):
        for size in RETRIEVE_SIZES:
            with self.subTest(size=size):
                self.retrieve(size)

    def test_store(self):
        for size in STORE_SIZES:
            with self.subTest(size=size):
                self.store(size)

    def test_empty_file_is_refused(self):
        result = self.curl("-o", self.local_file("curl_empty"), "%s/sub/f0.bin" % self.url)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("< 550 File not found or open error", result.stderr)

    def test_listing(self):
        result = self.curl("%s/sub/" % self.url)
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.splitlines()
        self.assertEqual(len(lines), len(self.SERVED_SIZES))
        for size in SMALL_SIZES:
            self.assertTrue(any(line.endswith("\tf%d.bin\t%d" % (size, size)) for line in lines),
                            lines)
        root = self.curl("%s/" % self.url)
        self.assertTrue(any(line.endswith("    <DIR>\tsub\t") for line in root.stdout.splitlines()),
                        root.stdout)

    def test_escape_attempts_stay_inside(self):
        outside = os.path.join(self.tmp.name, "outside.txt")
        with open(outside, "w") as secret:
            secret.write("secret")
        for path in ["/%2E%2E/outside.txt", "/sub/%2E%2E/%2E%2E/outside.txt", "/%2Fetc/passwd"]:
            with self.subTest(path=path):
                result = self.curl("--path-as-is", "-o", self.local_file("escape"), self.url + path)
                self.assertNotEqual(result.returncode, 0, result.stderr)
                self.assertFalse(os.path.exists(self.local_file("escape")))

    def test_two_clients_at_once(self):
        """The large retrieve, while a store runs beside it."""
        source = self.upload_source(MEDIUM_SIZE)
        out = self.local_file("curl_parallel")
        clients = [
            subprocess.Popen(["curl", "-sS", "-P", "127.0.0.1", "--max-time",
                              str(CLIENT_TIMEOUT_S), "-o", out, "%s/sub/f%d.bin" % (self.url, LARGE_SIZE)],
                             stderr=subprocess.PIPE, text=True),
            subprocess.Popen(["curl", "-sS", "-P", "127.0.0.1", "--max-time",
                              str(CLIENT_TIMEOUT_S), "-T", source, "%s/parallel_up" % self.url],
                             stderr=subprocess.PIPE, text=True),
        ]
        for client in clients:
            _, errors = client.communicate(timeout=CLIENT_TIMEOUT_S + 10)
            self.assertEqual(client.returncode, 0, errors)
        self.assertSameFile(out, self.served("sub", "f%d.bin" % LARGE_SIZE))
        self.assertSameFile(self.served("parallel_up"), source)
        os.remove(out)


class FtplibTest(FtpHostCase):
    """Python's ftplib with passive mode off."""

    def setUp(self):
        self.ftp = ftplib.FTP()
        self.ftp.connect("127.0.0.1", self.port, timeout=CLIENT_TIMEOUT_S)
        self.ftp.set_pasv(False)
        self.assertEqual(self.ftp.getwelcome(),
                         "220 Welcome to the brennor Orvane FTP/TFTP Server Ver. 1.2.4")
        self.assertEqual(self.ftp.login("equipment", "any password"), "230 User logged in")

    def tearDown(self):
        try:
            self.assertEqual(self.ftp.quit(), "221 Goodbye.")
        finally:
            self.ftp.close()

    def retrieve(self, name):
        out = self.local_file("ftplib_get")
        with open(out, "wb") as data:
            reply = self.ftp.retrbinary("RETR " + name, data.write)
        self.assertEqual(reply, "226 Closing data connection, file transfer successful")
        return out

    def test_directories(self):
        self.assertEqual(self.ftp.pwd(), "/")
        self.assertEqual(self.ftp.cwd("sub"), "250 CWD command successful.")
        self.assertEqual(self.ftp.pwd(), "/sub/")
        with self.assertRaises(ftplib.error_perm) as refused:
            self.ftp.cwd("none")
        self.assertEqual(str(refused.exception), "553 No such directory")
        self.assertEqual(self.ftp.pwd(), "/sub/")
        # ftplib sends CDUP for "..": outside the command set; CWD .. does it.
        with self.assertRaises(ftplib.error_perm) as refused:
            self.ftp.cwd("..")
        self.assertEqual(str(refused.exception), "502 Command not implemented ")
        self.assertEqual(self.ftp.sendcmd("CWD .."), "250 CWD command successful.")
        self.assertEqual(self.ftp.pwd(), "/")
        self.ftp.cwd("../..")
        self.assertEqual(self.ftp.pwd(), "/")

    def test_retrieve_every_size(self):
        self.ftp.cwd("sub")
        for size in RETRIEVE_SIZES:
            with self.subTest(size=size):
                out = self.retrieve("f%d.bin" % size)
                self.assertSameFile(out, self.served("sub", "f%d.bin" % size))
                os.remove(out)

    def test_store_every_size(self):
        for size in STORE_SIZES:
            with self.subTest(size=size):
                source = self.upload_source(size)
                with open(source, "rb") as data:
                    reply = self.ftp.storbinary("STOR ftplib_up.bin", data)
                self.assertEqual(reply, "226 Closing data connection, file transfer successful")
                self.assertSameFile(self.served("ftplib_up.bin"), source)

    def test_listing(self):
        lines = []
        self.assertEqual(self.ftp.retrlines("LIST sub", lines.append), "226 Transfer complete.")
        names = sorted(line.split("\t")[1] for line in lines)
        self.assertEqual(names, sorted("f%d.bin" % size for size in self.SERVED_SIZES))
        with self.assertRaises(ftplib.error_perm) as refused:
            self.ftp.retrlines("LIST none", lines.append)
        self.assertEqual(str(refused.exception), "553 No such directory")

    def test_refused_commands_leave_the_session_usable(self):
        with self.assertRaises(ftplib.error_perm) as refused:
            self.ftp.size("sub/f600.bin")
        self.assertEqual(str(refused.exception), "502 Command not implemented ")
        with self.assertRaises(ftplib.error_perm):
            self.ftp.sendcmd("PASV")
        out = self.retrieve("sub/f600.bin")
        self.assertSameFile(out, self.served("sub", "f600.bin"))

    def test_escape_attempts(self):
        with open(os.path.join(self.tmp.name, "outside.txt"), "w") as secret:
            secret.write("secret")
        for name in ["../outside.txt", "/../outside.txt", "C:\\..\\outside.txt"]:
            with self.subTest(name=name):
                with self.assertRaises(ftplib.error_perm) as refused:
                    self.retrieve(name)
                self.assertEqual(str(refused.exception), "550 File not found or open error")
        # A store that climbs lands inside the served folder.
        with open(self.upload_source(1), "rb") as data:
            self.ftp.storbinary("STOR ../../climbed.bin", data)
        self.assertTrue(os.path.exists(self.served("climbed.bin")))
        self.assertFalse(os.path.exists(os.path.join(self.tmp.name, "climbed.bin")))


    def test_names_are_bytes_and_stay_inside(self):
        # Latin-1 passes every byte through ftplib unchanged.
        self.ftp.quit()
        self.ftp = ftplib.FTP(encoding="latin-1")
        self.ftp.connect("127.0.0.1", self.port, timeout=CLIENT_TIMEOUT_S)
        self.ftp.set_pasv(False)
        self.ftp.login("equipment", "x")
        self.assertEqual(self.ftp.sendcmd("USER \xe9"), "331 Password required for \xe9")
        raw = os.path.join(os.fsencode(self.root), b"caf\xe9")
        with open(raw, "wb") as named:
            named.write(b"not UTF-8")
        out = self.retrieve("caf\xe9")
        with open(out, "rb") as got:
            self.assertEqual(got.read(), b"not UTF-8")
        outside = os.path.join(self.tmp.name, "canary.txt")
        with open(outside, "w") as canary:
            canary.write("canary")
        os.symlink(outside, self.served("linkout"))
        os.link(outside, self.served("hardout"))
        with self.assertRaises(ftplib.error_perm) as refused:
            with open(self.upload_source(5), "rb") as data:
                self.ftp.storbinary("STOR linkout\0x", data)
        self.assertEqual(str(refused.exception), "553 No such file or directory")
        with open(self.upload_source(5), "rb") as data:
            self.ftp.storbinary("STOR hardout", data)
        with open(outside) as canary:
            self.assertEqual(canary.read(), "canary")
        self.assertSameFile(self.served("hardout"), self.upload_source(5))
        os.remove(raw)


class LftpCase:
    """lftp, driven by one script per call; MODE holds the settings of a variant."""

    MODE = ""

    def lftp(self, commands):
        script = "%s%sopen -u equipment,secret %s; %s" % (LFTP_SETTINGS, self.MODE, self.url,
                                                           commands)
        return run(["lftp", "-d", "-c", script], cwd=self.local)

    def test_directories_and_listing(self):
        result = self.lftp("cd sub; pwd; ls; cd ..; ls")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("/sub", result.stdout)
        self.assertIn("\tf600.bin\t600", result.stdout)
        self.assertIn("    <DIR>\tsub\t", result.stdout)

    def test_retrieve_and_store(self):
        commands = ["get sub/f%d.bin -o lftp_get%d" % (size, size) for size in RETRIEVE_SIZES]
        for size in STORE_SIZES:
            self.upload_source(size)
            commands.append("put src%d.bin -o sub/lftp_up%d.bin" % (size, size))
        result = self.lftp("; ".join(commands))
        self.assertEqual(result.returncode, 0, result.stderr)
        for size in RETRIEVE_SIZES:
            with self.subTest(get=size):
                self.assertSameFile(self.local_file("lftp_get%d" % size),
                                    self.served("sub", "f%d.bin" % size))
        for size in STORE_SIZES:
            with self.subTest(put=size):
                self.assertSameFile(self.served("sub", "lftp_up%d.bin" % size),
                                    self.local_file("src%d.bin" % size))
        # It asked for sizes and times, heard 502, and went on.
        self.assertIn("<--- 502 Command not implemented", result.stderr)

    def test_empty_store(self):
        self.upload_source(0)
        result = self.lftp("put src0.bin -o lftp_empty.bin")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(os.path.getsize(self.served("lftp_empty.bin")), 0)


class LftpActiveTest(LftpCase, FtpHostCase):
    MODE = "set ftp:passive-mode off; "

    def test_no_passive_request(self):
        result = self.lftp("ls")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertNotIn("---> PASV", result.stderr)
        self.assertIn("---> PORT 127,0,0,1,", result.stderr)


class LftpDefaultTest(LftpCase, FtpHostCase):
    """Its defaults: passive first; on 502 it aborts, reconnects and goes on actively."""

    def test_falls_back_to_active(self):
        result = self.lftp("ls")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("---> PASV", result.stderr)
        self.assertIn("---> PORT 127,0,0,1,", result.stderr)
        self.assertIn("    <DIR>\tsub\t", result.stdout)


if __name__ == "__main__":
    unittest.main()
