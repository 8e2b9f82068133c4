"""FTP interop: curl, ftplib and lftp (active, and passive falling back to
active) against the host on loopback; all traffic stays on 127.0.0.1."""

import ftplib
import os
import subprocess
import unittest

from serverhost import HostCase, read, write

# A retrieve sends 256 bytes per turn of the server's loop: the edges around it.
SMALL_SIZES = [1, 255, 256, 257, 600]
MEDIUM_SIZE = 1 << 20
LARGE_SIZE = 64 << 20
RETRIEVE_SIZES = SMALL_SIZES + [MEDIUM_SIZE]
STORE_SIZES = [0] + SMALL_SIZES + [MEDIUM_SIZE, LARGE_SIZE]
CLIENT_TIMEOUT_S = 120  # a 64 MiB transfer under the sanitizers takes seconds
DONE = "226 Closing data connection, file transfer successful"
CURL = ["curl", "-sS", "-v", "-P", "127.0.0.1", "--max-time", str(CLIENT_TIMEOUT_S)]
# lftp reconnects at once when it falls back from passive to active mode.
LFTP = ("set net:timeout 5; set net:max-retries 2; set net:reconnect-interval-base 0; "
        "set cmd:fail-exit yes; set xfer:clobber on; %sopen -u equipment,secret %s; %s")


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=CLIENT_TIMEOUT_S,
                          **kwargs)


class FtpClients(HostCase):
    @classmethod
    def prepare(cls):
        os.makedirs(os.path.join(cls.root, "sub"))
        for size in [0] + RETRIEVE_SIZES + [LARGE_SIZE]:
            write(os.path.join(cls.root, "sub", "f%d.bin" % size), os.urandom(size))
            write(os.path.join(cls.local, "src%d.bin" % size), os.urandom(size))

    @property
    def url(self):
        return "ftp://127.0.0.1:%d" % self.port

    # Each client gets (remote, local) and puts (local, remote), returning its log and the lines
    # it must show.
    def curl(self, gets, puts):
        log = ""
        for args in [["-o", local, "%s/%s" % (self.url, remote)] for remote, local in gets] + [
                ["-T", local, "%s/%s" % (self.url, remote)] for local, remote in puts]:
            result = run(CURL + args)
            self.assertEqual(result.returncode, 0, result.stderr)
            log += result.stderr
        # It asks for EPRT first, hears 502 and falls back to PORT.
        return log, ["< 502 Command not implemented", "> PORT 127,0,0,1,", "< " + DONE]

    def ftplib(self, gets, puts):
        ftp = ftplib.FTP()
        ftp.connect("127.0.0.1", self.port, timeout=CLIENT_TIMEOUT_S)
        ftp.set_pasv(False)
        log = [ftp.getwelcome(), ftp.login("equipment", "any password")]
        for remote, local in gets:
            with open(local, "wb") as data:
                log.append(ftp.retrbinary("RETR " + remote, data.write))
        for local, remote in puts:
            with open(local, "rb") as data:
                log.append(ftp.storbinary("STOR " + remote, data))
        listing = []
        log += [ftp.retrlines("LIST sub", listing.append)] + listing + [ftp.quit()]
        self.assertEqual(log.count(DONE), len(gets) + len(puts))
        return "\n".join(log), ["220 Welcome to the brennor Orvane FTP/TFTP Server Ver. 1.2.4",
                                "230 User logged in", "226 Transfer complete.",
                                "\tf600.bin\t600", "221 Goodbye."]

    def lftp(self, gets, puts, passive):
        commands = ["cd sub", "pwd", "ls", "cd ..", "ls"]
        commands += ["get %s -o %s" % names for names in gets]
        commands += ["put %s -o %s" % names for names in puts]
        mode = "" if passive else "set ftp:passive-mode off; "
        result = run(["lftp", "-d", "-c", LFTP % (mode, self.url, "; ".join(commands))],
                     cwd=self.local)
        self.assertEqual(result.returncode, 0, result.stderr)
        # It hears 502 for sizes and times and goes on; refused passive, it falls back to PORT.
        self.assertEqual("---> PASV" in result.stderr, passive)
        return result.stdout + result.stderr, [
            "<--- 502 Command not implemented", "---> PORT 127,0,0,1,", "/sub",
            "\tf600.bin\t600", "    <DIR>\tsub\t"]

    def test_every_client_retrieves_and_stores_every_size(self):
        clients = {"curl": self.curl, "ftplib": self.ftplib,
                   "lftp active": lambda g, p: self.lftp(g, p, False),
                   "lftp passive": lambda g, p: self.lftp(g, p, True)}
        for client, transfer in clients.items():
            with self.subTest(client=client):
                tag = client.replace(" ", "_")
                gets = [("sub/f%d.bin" % size, self.in_local("%s_get%d" % (tag, size)))
                        for size in RETRIEVE_SIZES]
                puts = [(self.in_local("src%d.bin" % size), "%s_put%d" % (tag, size))
                        for size in STORE_SIZES]
                log, expected = transfer(gets, puts)
                for line in expected:
                    self.assertIn(line, log)
                for source, target in [(self.served(r), l) for r, l in gets] + [
                        (l, self.served(r)) for l, r in puts]:
                    self.assertEqual(read(target), read(source), target)
                    os.remove(target)

    def test_large_retrieve_beside_a_store(self):
        out, source = self.in_local("parallel_get"), self.in_local("src%d.bin" % MEDIUM_SIZE)
        clients = [subprocess.Popen(CURL + args, stderr=subprocess.PIPE, text=True) for args in
                   (["-o", out, "%s/sub/f%d.bin" % (self.url, LARGE_SIZE)],
                    ["-T", source, self.url + "/parallel_up"])]
        for client in clients:
            _, errors = client.communicate(timeout=CLIENT_TIMEOUT_S + 10)
            self.assertEqual(client.returncode, 0, errors)
        self.assertEqual(read(out), read(self.served("sub", "f%d.bin" % LARGE_SIZE)))
        self.assertEqual(read(self.served("parallel_up")), read(source))


if __name__ == "__main__":
    unittest.main()
