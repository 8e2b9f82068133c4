"""TFTP interop: tftp-hpa, atftp, busybox and curl against the host on loopback.
The server follows block 65535 with block 1, which these clients do not
expect, so no transfer here is longer than 65535 blocks."""

import os
import random
import socket
import subprocess
import time
import unittest

from serverhost import HostCase, read, write

HOST = "127.0.0.1"
CLIENT_TIMEOUT_S = 60  # every client call ends within this, or the test fails
SIZES = [0, 1, 511, 512, 513, 700, 256 * 1024]
LONG_SIZE = 8 * 1024 * 1024  # one long transfer each way keeps step for thousands of blocks
CONCURRENT_CLIENTS = 20
CONCURRENT_SIZE = 256 * 1024
# What each client asks for in the runs with options, and the block size that
# comes of it; the runs without pass no option (curl is told to send none;
# busybox always asks for tsize). curl asks for tsize and timeout as well.
OPTIONS = {
    "atftp": (8192, ["--option", "blksize 8192", "--option", "tsize 0", "--option",
                     "windowsize 4", "--option", "timeout 3"]),
    "busybox": (1024, ["-b", "1024"]),
    "curl": (65464, ["--tftp-blksize", "65464"]),
}


def content(size, seed):
    return random.Random(seed).randbytes(size)


def command(client, direction, port, local, remote, with_options=False):
    """A get (remote to local) or a put (local to remote) by one client."""
    options = OPTIONS[client][1] if with_options else (["--tftp-no-options"] if client == "curl"
                                                         else [])
    get = direction == "get"
    return {
        "tftp-hpa": ["tftp", HOST, str(port), "-m", "binary", "-c", direction]
        + ([remote, local] if get else [local, remote]),
        "atftp": ["atftp"] + options + ["--" + direction, "-r", remote, "-l", local, HOST, str(port)],
        "busybox": ["busybox", "tftp"] + options
        + ["-g" if get else "-p", "-r", remote, "-l", local, HOST, str(port)],
        "curl": ["curl", "-sS"] + options + ["-o" if get else "-T", local,
                                             "tftp://%s:%d/%s" % (HOST, port, remote)],
    }[client]


class TftpInterop(HostCase):
    PROTOCOL = "TFTP"

    @classmethod
    def prepare(cls):
        write(os.path.join(cls.tmp.name, "secret"), b"secret")
        block_edges = [size + edge for size, _ in OPTIONS.values() for edge in (-1, 0, 1)]
        for size in SIZES + block_edges + [LONG_SIZE]:
            write(os.path.join(cls.root, "file_%d" % size), content(size, size))

    def run_client(self, client, direction, local, remote, with_options=False):
        # A client that does not end in time raises TimeoutExpired: the test fails.
        return subprocess.run(command(client, direction, self.port, local, remote, with_options),
                              cwd=self.local, capture_output=True, timeout=CLIENT_TIMEOUT_S)

    def test_every_client_gets_and_puts(self):
        for client, with_options in [("tftp-hpa", False)] + [
                (client, options) for client in OPTIONS for options in (False, True)]:
            sizes = SIZES + [LONG_SIZE]
            if with_options:
                block = OPTIONS[client][0]
                sizes = [0, 511, 512, 513, block - 1, block, block + 1, LONG_SIZE]
            for size in sizes:
                name = "%s_%s_%d" % (client, with_options, size)
                with self.subTest(client=client, options=with_options, size=size, direction="get"):
                    result = self.run_client(client, "get", self.in_local(name), "file_%d" % size,
                                             with_options)
                    self.assertEqual(result.returncode, 0, result.stderr)
                    # Compared byte for byte: some clients end with 0 after a failure.
                    self.assertEqual(read(self.in_local(name)), content(size, size))
                with self.subTest(client=client, options=with_options, size=size, direction="put"):
                    write(self.in_local(name), content(size, size + 1))
                    result = self.run_client(client, "put", self.in_local(name), name, with_options)
                    self.assertEqual(result.returncode, 0, result.stderr)
                    self.assertEqual(read(self.served(name)), content(size, size + 1))

    def test_netascii_served_byte_for_byte(self):
        # The client converts line ends, the server never does: it sends the
        # file as it stands and stores the client's netascii (CR LF, CR NUL).
        write(self.served("text_get"), b"one\r\ntwo\r\nlone\rend")
        write(self.in_local("text_put"), b"a\nb\rc\n")
        for direction, local, remote in [("get", "text_get", "text_get"),
                                         ("put", "text_put", "text_put")]:
            tftp = command("tftp-hpa", direction, self.port, self.in_local(local), remote)
            result = subprocess.run([word if word != "binary" else "netascii" for word in tftp],
                                    capture_output=True, timeout=CLIENT_TIMEOUT_S)
            self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(read(self.in_local("text_get")), b"one\ntwo\nlone\rend")
        self.assertEqual(read(self.served("text_put")), b"a\r\nb\r\0c\r\n")

    def test_missing_file(self):
        for client, code, message in [("tftp-hpa", None, b"Error code 1: File not found"),
                                      ("atftp", None, b"File not found"),
                                      ("busybox", None, b"File not found"),
                                      ("curl", 68, b"")]:  # curl's "TFTP file not found"
            with self.subTest(client=client):
                local = self.in_local("%s_missing" % client)
                result = self.run_client(client, "get", local, "missing.bin")
                if code is not None:
                    self.assertEqual(result.returncode, code)
                self.assertIn(message, result.stdout + result.stderr)
                self.assertFalse(os.path.exists(local) and os.path.getsize(local) > 0)

    def test_names_outside_the_folder_refused(self):
        before = sorted(os.listdir(self.tmp.name))
        local = self.in_local("upload")
        write(local, b"evil")
        # (tftp-hpa takes "C:" for a host name, so drive letters are tested without it.)
        for name in ["../evil", "..\\evil", "sub/../../evil", "/../evil", "../secret"]:
            for direction in ("put", "get"):
                with self.subTest(name=name, direction=direction):
                    got = self.in_local("got_outside")
                    result = self.run_client("tftp-hpa", direction,
                                             local if direction == "put" else got, name)
                    self.assertIn(b"Error code 2: Access violation", result.stdout + result.stderr)
                    self.assertFalse(os.path.exists(got) and read(got) == b"secret")
        result = self.run_client("curl", "put", local, "%2e%2e/evil")
        self.assertEqual(result.returncode, 69)  # curl's "TFTP access violation"
        self.assertEqual(sorted(os.listdir(self.tmp.name)), before)
        self.assertEqual(read(os.path.join(self.tmp.name, "secret")), b"secret")

    def test_garbage_at_the_listener_then_a_put_over_a_hard_link(self):
        # The listener goes on serving; the put replaces the name, not the file.
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
            for datagram in [b"", b"\x00", b"\x00\x01no-zero-byte", b"\x00\x03\x00\x01data",
                             b"\x00\x06x\x00"]:
                sock.sendto(datagram, (HOST, self.port))
        outside = os.path.join(self.tmp.name, "linked_outside")
        write(outside, b"outside")
        os.link(outside, self.served("hardlink"))
        write(self.in_local("hardlink_upload"), content(1500, 7))
        result = self.run_client("tftp-hpa", "put", self.in_local("hardlink_upload"), "hardlink")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(read(self.served("hardlink")), content(1500, 7))
        self.assertEqual(read(outside), b"outside")

    def test_twenty_clients_at_once(self):
        processes, expected = [], {}
        for index in range(CONCURRENT_CLIENTS):
            name, data = "many_%d" % index, content(CONCURRENT_SIZE, 1000 + index)
            get = index % 2 == 0
            write(self.served(name) if get else self.in_local(name), data)
            expected[self.in_local(name) if get else self.served(name)] = data
            processes.append(subprocess.Popen(
                command("tftp-hpa", "get" if get else "put", self.port, self.in_local(name), name),
                cwd=self.local, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        deadline = time.monotonic() + CLIENT_TIMEOUT_S
        try:
            for process in processes:
                process.wait(timeout=max(0.1, deadline - time.monotonic()))
        finally:
            for process in [p for p in processes if p.poll() is None]:
                process.kill()
                process.wait()
        self.assertEqual([process.returncode for process in processes], [0] * CONCURRENT_CLIENTS)
        for target, data in expected.items():
            self.assertEqual(read(target), data, os.path.basename(target))


if __name__ == "__main__":
    unittest.main()
