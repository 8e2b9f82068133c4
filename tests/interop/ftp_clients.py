"""FTP interop: curl, ftplib and lftp (active, and passive falling back to
active) against the host on loopback; all traffic stays on 127.0.0.1."""

import ftplib
import os
import subprocess
import unittest

from serverhost import HostCase, read, write

# A retrieve sends 256 bytes per turn of the server's loop: the edges around
# it, and one large store per client (one large retrieve, beside a store).
SMALL_SIZES = [1, 255, 256, 257, 600]
MEDIUM_SIZE = 1 << 20
LARGE_SIZE = 64 << 20
RETRIEVE_SIZES = SMALL_SIZES + [MEDIUM_SIZE]
STORE_SIZES = [0] + SMALL_SIZES + [MEDIUM_SIZE, LARGE_SIZE]
SERVED_SIZES = [0] + RETRIEVE_SIZES + [LARGE_SIZE]
CLIENT_TIMEOUT_S = 120  # a 64 MiB transfer under the sanitizers takes seconds
DONE = "226 Closing data connection, file transfer successful"
NOT_IMPLEMENTED = "502 Command not implemented "
CURL = ["curl", "-sS", "-v", "-P", "127.0.0.1", "--max-time", str(CLIENT_TIMEOUT_S)]
# lftp reconnects at once when it falls back from passive to active mode.
LFTP_SETTINGS = ("set net:timeout 5; set net:max-retries 2; set net:reconnect-interval-base 0; "
                 "set cmd:fail-exit yes; set xfer:clobber on; ")
LFTP_MODES = {"lftp active": "set ftp:passive-mode off; ", "lftp default": ""}


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=CLIENT_TIMEOUT_S,
                          **kwargs)


class FtpClients(HostCase):
    @classmethod
    def prepare(cls):
        os.makedirs(os.path.join(cls.root, "sub"))
        for size in SERVED_SIZES:
            write(os.path.join(cls.root, "sub", "f%d.bin" % size), os.urandom(size))
            write(os.path.join(cls.local, "src%d.bin" % size), os.urandom(size))
        write(os.path.join(cls.tmp.name, "outside.txt"), b"secret")

    @property
    def url(self):
        return "ftp://127.0.0.1:%d" % self.port

    def ftplib(self, encoding="utf-8"):
        ftp = ftplib.FTP(encoding=encoding)
        ftp.connect("127.0.0.1", self.port, timeout=CLIENT_TIMEOUT_S)
        ftp.set_pasv(False)
        self.assertEqual(ftp.getwelcome(),
                         "220 Welcome to the brennor Orvane FTP/TFTP Server Ver. 1.2.4")
        self.assertEqual(ftp.login("equipment", "any password"), "230 User logged in")
        self.addCleanup(ftp.close)
        return ftp

    def ftplib_get(self, ftp, name, out):
        with open(out, "wb") as data:
            return ftp.retrbinary("RETR " + name, data.write)

    def ftplib_put(self, ftp, name, source):
        with open(self.in_local(source), "rb") as data:
            return ftp.storbinary("STOR " + name, data)

    def lftp(self, mode, commands):
        script = "%s%sopen -u equipment,secret %s; %s" % (LFTP_SETTINGS, LFTP_MODES[mode],
                                                           self.url, commands)
        return run(["lftp", "-d", "-c", script], cwd=self.local)

    def test_every_client_retrieves_and_stores_every_size(self):
        ftp = self.ftplib()
        for client in ["curl", "ftplib"] + list(LFTP_MODES):
            gets = ["sub/f%d.bin" % size for size in RETRIEVE_SIZES]
            puts = ["src%d.bin" % size for size in STORE_SIZES]
            out = {name: "%s_%s" % (client.replace(" ", "_"), os.path.basename(name))
                   for name in gets + puts}
            if client == "curl":
                for name in gets:
                    result = run(CURL + ["-o", self.in_local(out[name]), "%s/%s" % (self.url, name)])
                    self.assertEqual(result.returncode, 0, result.stderr)
                    # It asks for EPRT first, hears 502 and falls back to PORT.
                    self.assertIn("< 502 Command not implemented", result.stderr)
                    self.assertIn("> PORT 127,0,0,1,", result.stderr)
                for name in puts:
                    result = run(CURL + ["-T", self.in_local(name), "%s/%s" % (self.url, out[name])])
                    self.assertEqual(result.returncode, 0, result.stderr)
                    self.assertIn("< " + DONE, result.stderr)
            elif client == "ftplib":
                for name in gets:
                    self.assertEqual(self.ftplib_get(ftp, name, self.in_local(out[name])), DONE)
                for name in puts:
                    self.assertEqual(self.ftplib_put(ftp, out[name], name), DONE)
            else:
                commands = ["cd sub", "pwd", "ls", "cd ..", "ls"]
                commands += ["get %s -o %s" % (name, out[name]) for name in gets]
                commands += ["put %s -o %s" % (name, out[name]) for name in puts]
                result = self.lftp(client, "; ".join(commands))
                self.assertEqual(result.returncode, 0, result.stderr)
                # It asked for sizes and times, heard 502, and went on.
                self.assertIn("<--- 502 Command not implemented", result.stderr)
                for listed in ["/sub", "\tf600.bin\t600", "    <DIR>\tsub\t"]:
                    self.assertIn(listed, result.stdout)
                # Passive only by default: refused, then PORT on a new connection.
                self.assertEqual("---> PASV" in result.stderr, client == "lftp default")
                self.assertIn("---> PORT 127,0,0,1,", result.stderr)
            for source, target in [(self.served(n), self.in_local(out[n])) for n in gets] + [
                    (self.in_local(n), self.served(out[n])) for n in puts]:
                with self.subTest(client=client, source=source):
                    self.assertEqual(read(target), read(source))
                    os.remove(target)
        self.assertEqual(ftp.quit(), "221 Goodbye.")

    def test_large_retrieve_beside_a_store(self):
        out = self.in_local("parallel_get")
        clients = [subprocess.Popen(CURL + args, stderr=subprocess.PIPE, text=True) for args in
                   (["-o", out, "%s/sub/f%d.bin" % (self.url, LARGE_SIZE)],
                    ["-T", self.in_local("src%d.bin" % MEDIUM_SIZE), self.url + "/parallel_up"])]
        for client in clients:
            _, errors = client.communicate(timeout=CLIENT_TIMEOUT_S + 10)
            self.assertEqual(client.returncode, 0, errors)
        self.assertEqual(read(out), read(self.served("sub", "f%d.bin" % LARGE_SIZE)))
        self.assertEqual(read(self.served("parallel_up")),
                         read(self.in_local("src%d.bin" % MEDIUM_SIZE)))

    def test_listings(self):
        listing = run(CURL + [self.url + "/sub/"]).stdout.splitlines()
        self.assertEqual(len(listing), len(SERVED_SIZES))
        for size in SMALL_SIZES:
            self.assertIn("\tf%d.bin\t%d\n" % (size, size), "\n".join(listing) + "\n")
        self.assertIn("    <DIR>\tsub\t", run(CURL + [self.url + "/"]).stdout)
        ftp = self.ftplib()
        lines = []
        self.assertEqual(ftp.retrlines("LIST sub", lines.append), "226 Transfer complete.")
        self.assertEqual(sorted(line.split("\t")[1] for line in lines),
                         sorted("f%d.bin" % size for size in SERVED_SIZES))
        with self.assertRaisesRegex(ftplib.error_perm, "^553 No such directory$"):
            ftp.retrlines("LIST none", lines.append)

    def test_folders_and_refused_commands(self):
        ftp = self.ftplib()
        self.assertEqual(ftp.pwd(), "/")
        self.assertEqual(ftp.cwd("sub"), "250 CWD command successful.")
        self.assertEqual(ftp.pwd(), "/sub/")
        # ftplib sends CDUP for "..": outside the command set; CWD .. does it.
        for refused, reply in [(lambda: ftp.cwd("none"), "553 No such directory"),
                               (lambda: ftp.cwd(".."), NOT_IMPLEMENTED),
                               (lambda: ftp.size("f600.bin"), NOT_IMPLEMENTED),
                               (lambda: ftp.sendcmd("PASV"), NOT_IMPLEMENTED)]:
            with self.assertRaises(ftplib.error_perm) as raised:
                refused()
            self.assertEqual(str(raised.exception), reply)
        self.assertEqual(ftp.pwd(), "/sub/")
        self.assertEqual(self.ftplib_get(ftp, "f600.bin", self.in_local("after_refusals")), DONE)
        self.assertEqual(ftp.sendcmd("CWD .."), "250 CWD command successful.")
        ftp.cwd("../..")
        self.assertEqual(ftp.pwd(), "/")
        result = run(CURL + ["-o", self.in_local("curl_empty"), self.url + "/sub/f0.bin"])
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("< 550 File not found or open error", result.stderr)

    def test_escape_attempts_stay_inside(self):
        for path in ["/%2E%2E/outside.txt", "/sub/%2E%2E/%2E%2E/outside.txt", "/%2Fetc/passwd"]:
            with self.subTest(path=path):
                out = self.in_local("escape")
                result = run(CURL + ["--path-as-is", "-o", out, self.url + path])
                self.assertNotEqual(result.returncode, 0, result.stderr)
                self.assertFalse(os.path.exists(out))
        ftp = self.ftplib()
        for name in ["../outside.txt", "/../outside.txt", "C:\\..\\outside.txt"]:
            with self.subTest(name=name), self.assertRaises(ftplib.error_perm) as refused:
                self.ftplib_get(ftp, name, self.in_local("escape"))
            self.assertEqual(str(refused.exception), "550 File not found or open error")
        # A store that climbs lands inside the served folder.
        self.ftplib_put(ftp, "../../climbed.bin", "src1.bin")
        self.assertTrue(os.path.exists(self.served("climbed.bin")))
        self.assertFalse(os.path.exists(os.path.join(self.tmp.name, "climbed.bin")))

    def test_names_are_bytes_and_links_stay_inside(self):
        ftp = self.ftplib(encoding="latin-1")  # passes every byte through unchanged
        self.assertEqual(ftp.sendcmd("USER \xe9"), "331 Password required for \xe9")
        raw = os.path.join(os.fsencode(self.root), b"caf\xe9")
        write(raw, b"not UTF-8")
        self.ftplib_get(ftp, "caf\xe9", self.in_local("raw_name"))
        self.assertEqual(read(self.in_local("raw_name")), b"not UTF-8")
        canary = os.path.join(self.tmp.name, "canary.txt")
        write(canary, b"canary")
        os.symlink(canary, self.served("linkout"))
        os.link(canary, self.served("hardout"))
        with self.assertRaisesRegex(ftplib.error_perm, "^553 No such file or directory$"):
            self.ftplib_put(ftp, "linkout\0x", "src1.bin")
        self.ftplib_put(ftp, "hardout", "src257.bin")
        self.assertEqual(read(canary), b"canary")
        self.assertEqual(read(self.served("hardout")), read(self.in_local("src257.bin")))
        os.remove(raw)


if __name__ == "__main__":
    unittest.main()
