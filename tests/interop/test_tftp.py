"""Real TFTP clients (tftp-hpa, atftp, busybox, curl) against the file server
host on loopback: gets and puts compared byte for byte, without options and
with block size, window and the others, refusals, and twenty clients at once.

The server follows block 65535 with block 1, which these clients do not
expect, so no transfer here is longer than 65535 blocks (32 MiB).
"""

import os
import random
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

from serverhost import ServerHost

HOST = "127.0.0.1"
# Every client call ends within this time, or the test fails.
CLIENT_TIMEOUT_S = 60
SIZES = [0, 1, 511, 512, 513, 700, 256 * 1024]
# One long transfer each way per client and mode shows that it keeps step for
# thousands of blocks; every client still crosses the block-size edges.
LONG_SIZE = 8 * 1024 * 1024
CONCURRENT_CLIENTS = 20
CONCURRENT_SIZE = 256 * 1024


def content(size, seed):
    return random.Random(seed).randbytes(size)


# What each client asks for in the runs with options, and the block size that
# comes of it; the runs without pass no option of their own (curl is told to
# send none; busybox always asks for tsize).
OPTIONS = {
    "atftp": (
        8192,
        ["--option", "blksize 8192", "--option", "tsize 0", "--option", "windowsize 4",
         "--option", "timeout 3"],
    ),
    "busybox": (1024, ["-b", "1024"]),
    # curl asks for tsize and timeout as well.
    "curl": (65464, ["--tftp-blksize", "65464"]),
}


def client_options(client, with_options):
    if with_options:
        return OPTIONS[client][1]
    return ["--tftp-no-options"] if client == "curl" else []


def get_command(client, port, name, local, with_options=False):
    options = client_options(client, with_options)
    return {
        "tftp-hpa": ["tftp", HOST, str(port), "-m", "binary", "-c", "get", name, local],
        "atftp": ["atftp"] + options + ["--get", "-r", name, "-l", local, HOST, str(port)],
        "busybox": ["busybox", "tftp"] + options + ["-g", "-r", name, "-l", local, HOST, str(port)],
        "curl": ["curl", "-sS"] + options + ["-o", local, "tftp://%s:%d/%s" % (HOST, port, name)],
    }[client]


def put_command(client, port, local, name, with_options=False):
    options = client_options(client, with_options)
    return {
        "tftp-hpa": ["tftp", HOST, str(port), "-m", "binary", "-c", "put", local, name],
        "atftp": ["atftp"] + options + ["--put", "-l", local, "-r", name, HOST, str(port)],
        "busybox": ["busybox", "tftp"] + options + ["-p", "-l", local, "-r", name, HOST, str(port)],
        "curl": ["curl", "-sS"] + options + ["-T", local, "tftp://%s:%d/%s" % (HOST, port, name)],
    }[client]


class TftpInterop(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.outer = tempfile.TemporaryDirectory()
        cls.root = os.path.join(cls.outer.name, "root")
        cls.work = os.path.join(cls.outer.name, "client")
        os.mkdir(cls.root)
        os.mkdir(cls.work)
        with open(os.path.join(cls.outer.name, "secret"), "wb") as secret:
            secret.write(b"secret")
        block_edges = [size + edge for size, _ in OPTIONS.values() for edge in (-1, 0, 1)]
        for size in SIZES + block_edges + [LONG_SIZE]:
            with open(os.path.join(cls.root, "file_%d" % size), "wb") as served:
                served.write(content(size, size))
        cls.host = ServerHost(cls.root, ["TFTP"])
        cls.host.__enter__()
        cls.port = cls.host.ports["TFTP"]

    @classmethod
    def tearDownClass(cls):
        cls.host.__exit__(None, None, None)
        cls.outer.cleanup()
        # A clean end on SIGTERM; the leak checker makes it fail otherwise.
        if cls.host.returncode != 0:
            raise AssertionError(
                "host ended with %r: %s" % (cls.host.returncode, "\n".join(cls.host.lines[-20:]))
            )

    def run_client(self, command):
        self.assertIsNotNone(shutil.which(command[0]), "%s is not installed" % command[0])
        try:
            return subprocess.run(
                command, cwd=self.work, capture_output=True, timeout=CLIENT_TIMEOUT_S
            )
        except subprocess.TimeoutExpired:
            self.fail("%s did not end within %d s" % (" ".join(command), CLIENT_TIMEOUT_S))

    def local(self, name):
        return os.path.join(self.work, name)

    def served(self, name):
        return os.path.join(self.root, name)

    @staticmethod
    def read(path):
        with open(path, "rb") as file:
            return file.read()

    def check_gets_and_puts(self, client, with_options=False):
        sizes = SIZES + [LONG_SIZE]
        if with_options:
            block = OPTIONS[client][0]
            sizes = [0, 511, 512, 513, block - 1, block, block + 1, LONG_SIZE]
        mode = "options" if with_options else "plain"
        for size in sizes:
            with self.subTest(client=client, mode=mode, size=size, direction="get"):
                local = self.local("%s_%s_get_%d" % (client, mode, size))
                command = get_command(client, self.port, "file_%d" % size, local, with_options)
                result = self.run_client(command)
                self.assertEqual(result.returncode, 0, result.stderr)
                # Compared byte for byte: some clients end with 0 after a failure.
                self.assertEqual(self.read(local), content(size, size))
            with self.subTest(client=client, mode=mode, size=size, direction="put"):
                name = "%s_%s_put_%d" % (client, mode, size)
                local = self.local(name)
                with open(local, "wb") as file:
                    file.write(content(size, size + 1))
                command = put_command(client, self.port, local, name, with_options)
                result = self.run_client(command)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(self.read(self.served(name)), content(size, size + 1))

    def test_tftp_hpa(self):
        self.check_gets_and_puts("tftp-hpa")

    def test_atftp(self):
        self.check_gets_and_puts("atftp")

    def test_atftp_with_options(self):
        self.check_gets_and_puts("atftp", with_options=True)

    def test_busybox(self):
        self.check_gets_and_puts("busybox")

    def test_busybox_with_options(self):
        self.check_gets_and_puts("busybox", with_options=True)

    def test_curl(self):
        self.check_gets_and_puts("curl")

    def test_curl_with_options(self):
        self.check_gets_and_puts("curl", with_options=True)

    def test_netascii_served_byte_for_byte(self):
        # The client converts line ends in netascii mode, the server never does:
        # what the server sends is the file as it stands, and what it stores
        # is the client's netascii (CR LF for LF, CR NUL for a lone CR).
        with open(self.served("text_get"), "wb") as file:
            file.write(b"one\r\ntwo\r\nlone\rend")
        local = self.local("text_get")
        command = ["tftp", HOST, str(self.port), "-m", "netascii", "-c", "get", "text_get", local]
        result = self.run_client(command)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.read(local), b"one\ntwo\nlone\rend")

        local = self.local("text_put")
        with open(local, "wb") as file:
            file.write(b"a\nb\rc\n")
        command = ["tftp", HOST, str(self.port), "-m", "netascii", "-c", "put", local, "text_put"]
        result = self.run_client(command)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.read(self.served("text_put")), b"a\r\nb\r\0c\r\n")

    def test_missing_file(self):
        expected = {
            "tftp-hpa": (None, b"Error code 1: File not found"),
            "atftp": (None, b"File not found"),
            "busybox": (None, b"File not found"),
            "curl": (68, b""),  # curl's "TFTP file not found"
        }
        for client, (code, message) in expected.items():
            with self.subTest(client=client):
                local = self.local("%s_missing" % client)
                result = self.run_client(get_command(client, self.port, "missing.bin", local))
                if code is not None:
                    self.assertEqual(result.returncode, code)
                self.assertIn(message, result.stdout + result.stderr)
                self.assertFalse(os.path.exists(local) and os.path.getsize(local) > 0)

    def test_names_outside_the_folder_refused(self):
        before = sorted(os.listdir(self.outer.name))
        local = self.local("upload")
        with open(local, "wb") as file:
            file.write(b"evil")
        # (tftp-hpa takes "C:" for a host name, so drive letters are tested without it.)
        for name in ["../evil", "..\\evil", "sub/../../evil", "/../evil", "../secret"]:
            with self.subTest(name=name, direction="put"):
                result = self.run_client(put_command("tftp-hpa", self.port, local, name))
                self.assertIn(b"Error code 2: Access violation", result.stdout + result.stderr)
            with self.subTest(name=name, direction="get"):
                got = self.local("got_outside")
                result = self.run_client(get_command("tftp-hpa", self.port, name, got))
                self.assertIn(b"Error code 2: Access violation", result.stdout + result.stderr)
                self.assertNotEqual(self.read(got) if os.path.exists(got) else b"", b"secret")
        with self.subTest(client="curl"):
            url = "tftp://%s:%d/%%2e%%2e/evil" % (HOST, self.port)
            result = self.run_client(["curl", "-sS", "-T", local, url])
            self.assertEqual(result.returncode, 69)  # curl's "TFTP access violation"
        self.assertEqual(sorted(os.listdir(self.outer.name)), before)
        self.assertEqual(self.read(os.path.join(self.outer.name, "secret")), b"secret")

    def test_put_over_a_hard_link_replaces_the_name_only(self):
        outside = os.path.join(self.outer.name, "linked_outside")
        with open(outside, "wb") as file:
            file.write(b"outside")
        os.link(outside, self.served("hardlink"))
        local = self.local("hardlink_upload")
        with open(local, "wb") as file:
            file.write(content(1500, 7))
        result = self.run_client(put_command("tftp-hpa", self.port, local, "hardlink"))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.read(self.served("hardlink")), content(1500, 7))
        self.assertEqual(self.read(outside), b"outside")

    def test_garbage_at_the_listener_leaves_it_serving(self):
        garbage = [b"", b"\x00", b"\x00\x01no-zero-byte", b"\x00\x03\x00\x01data", b"\x00\x06x\x00"]
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
            for datagram in garbage:
                sock.sendto(datagram, (HOST, self.port))
        local = self.local("after_garbage")
        result = self.run_client(get_command("tftp-hpa", self.port, "file_700", local))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.read(local), content(700, 700))

    def test_twenty_clients_at_once(self):
        processes = []
        expected = {}
        for index in range(CONCURRENT_CLIENTS):
            data = content(CONCURRENT_SIZE, 1000 + index)
            if index % 2 == 0:
                name = "many_%d" % index
                with open(self.served(name), "wb") as file:
                    file.write(data)
                target = self.local(name)
                command = get_command("tftp-hpa", self.port, name, target)
            else:
                name = "many_%d" % index
                source = self.local(name)
                with open(source, "wb") as file:
                    file.write(data)
                target = self.served(name)
                command = put_command("tftp-hpa", self.port, source, name)
            expected[target] = data
            processes.append(
                subprocess.Popen(
                    command, cwd=self.work, stdout=subprocess.PIPE, stderr=subprocess.STDOUT
                )
            )
        deadline = time.monotonic() + CLIENT_TIMEOUT_S
        try:
            for process in processes:
                process.wait(timeout=max(0.1, deadline - time.monotonic()))
        finally:
            for process in processes:
                if process.poll() is None:
                    process.kill()
                    process.wait()
                process.stdout.close()
        for process in processes:
            self.assertEqual(process.returncode, 0)
        for target, data in expected.items():
            with self.subTest(file=os.path.basename(target)):
                self.assertEqual(self.read(target), data)


if __name__ == "__main__":
    unittest.main()
