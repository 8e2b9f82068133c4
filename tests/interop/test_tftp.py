"""TFTP interop: tftp-hpa, atftp, busybox and curl against the host on loopback. By default
the server follows block 65535 with block 1, which these clients do not expect: only the host
started with --tftp-rollover 0 serves them a file of more blocks."""

import concurrent.futures
import hashlib
import os
import random
import socket
import struct
import subprocess
import threading
import time
import unittest

from serverhost import HostCase, read, write

HOST = "127.0.0.1"
CLIENT_TIMEOUT_S = 60  # every client call ends within this, or the test fails
SIZES = [0, 1, 511, 512, 513, 700, 256 * 1024]
LONG_SIZE = 8 * 1024 * 1024  # one long transfer each way keeps step for thousands of blocks
CONCURRENT_CLIENTS = 20
JUNK_FETCHES = 24  # per run, four at a time, with and without junk
JUNK_PER_SECOND = 2000  # ten times what starved the listener when it read one per pass
JUNK_MOST = 200000  # the junk sender stops after this many datagrams whatever happens
# An image of 40 MiB: 81920 blocks of 512 bytes, past the wrap after 65535.
WRAP_SIZE = 40 * 1024 * 1024
# The raw client's file: past the wrap in 8-byte blocks, a window per ACK, a lost block
# sent again after one second.
RAW_OPTIONS = {"blksize": "8", "windowsize": "65535", "timeout": "1"}
RAW_SIZE = (65535 + 8) * 8 + 3
RAW_DEADLINE_S = 60  # the raw client gives up after this
# Per client: the block size its options give, the options, and what it shows for a missing
# file (curl: exit status 68). Runs without pass none (busybox still asks for tsize).
CLIENTS = {
    "tftp-hpa": (None, None, b"Error code 1: File not found"),
    "atftp": (8192, ["--option", "blksize 8192", "--option", "tsize 0", "--option",
                     "windowsize 4", "--option", "timeout 3"], b"File not found"),
    "busybox": (1024, ["-b", "1024"], b"File not found"),
    "curl": (65464, ["--tftp-blksize", "65464"], 68),
}


def content(size, seed):
    return random.Random(seed).randbytes(size)


def command(client, direction, port, local, remote, options=(), host=HOST):
    """A get (remote to local) or a put (local to remote) by one client."""
    options = list(options or (["--tftp-no-options"] if client == "curl" else []))
    get = direction == "get"
    return {
        "tftp-hpa": ["tftp"] + (["-6"] if ":" in host else []) + [host, str(port), "-m", "binary",
                                                                    "-c", direction]
        + ([remote, local] if get else [local, remote]),
        "atftp": ["atftp"] + options + ["--" + direction, "-r", remote, "-l", local, host, str(port)],
        "busybox": ["busybox", "tftp"] + options
        + ["-g" if get else "-p", "-r", remote, "-l", local, HOST, str(port)],
        "curl": ["curl", "-sS"] + options + ["-o" if get else "-T", local,
                                             "tftp://%s:%d/%s" % (HOST, port, remote)],
    }[client]


def fetch_raw(port, remote, options):
    """Reads remote with options through a plain socket, as an RFC 7440 client does, taking
    0 or 1 after 65535: (the OACK's options, the bytes, the block number that came after 65535)."""
    request = b"\0\1" + remote.encode() + b"\0octet\0"
    request += b"".join(b"%s\0%s\0" % (k.encode(), v.encode()) for k, v in options.items())
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as client:
        client.settimeout(CLIENT_TIMEOUT_S)
        client.sendto(request, (HOST, port))
        answer, server = client.recvfrom(65536)
        client.settimeout(1)
        if answer[:2] != b"\0\6":
            raise AssertionError("no OACK: %r" % answer[:40])
        fields = answer[2:].split(b"\0")[:-1]
        oack = {fields[i].decode(): fields[i + 1].decode() for i in range(0, len(fields), 2)}
        block_size, window = int(oack.get("blksize", 512)), int(oack.get("windowsize", 1))
        client.sendto(struct.pack("!HH", 4, 0), server)
        blocks, last, after, in_window, gap_told = [], 0, None, 0, False
        deadline = time.monotonic() + RAW_DEADLINE_S
        while time.monotonic() < deadline:
            try:
                packet = client.recv(65536)
            except socket.timeout:
                continue  # the server sends its window again
            opcode, block = struct.unpack("!HH", packet[:4])
            if opcode != 3:
                raise AssertionError("not DATA: %r" % packet[:40])
            if block not in ((0, 1) if last == 65535 else ((last + 1) & 0xFFFF,)):
                if not gap_told:  # the server sends its window again behind the last in step
                    client.sendto(struct.pack("!HH", 4, last), server)
                    gap_told, in_window = True, 0
                continue
            if last == 65535:
                after = block
            blocks.append(packet[4:])
            last, in_window, gap_told = block, in_window + 1, False
            short = len(packet) - 4 < block_size
            if short or in_window == window:
                client.sendto(struct.pack("!HH", 4, last), server)
                in_window = 0
            if short:
                return oack, b"".join(blocks), after
    raise AssertionError("no last block within %d s" % RAW_DEADLINE_S)


def digest(path):
    with open(path, "rb") as stream:
        return hashlib.file_digest(stream, "sha256").hexdigest()


class TftpInterop(HostCase):
    PROTOCOL = "TFTP"

    @classmethod
    def prepare(cls):
        block_edges = [size + edge for size, _, _ in CLIENTS.values() if size
                       for edge in (-1, 0, 1)]
        for size in SIZES + block_edges + [LONG_SIZE, RAW_SIZE]:
            write(os.path.join(cls.root, "file_%d" % size), content(size, size))

    def run_client(self, client, direction, local, remote, options=(), host=HOST):
        return subprocess.run(command(client, direction, self.port, local, remote, options, host),
                              cwd=self.local, capture_output=True, timeout=CLIENT_TIMEOUT_S)

    def test_over_ipv6(self):
        # The listener serves ::1 beside 127.0.0.1, and keeps an IPv6 client in the folder too.
        write(os.path.join(self.tmp.name, "outside.bin"), b"secret")
        for client, (_, options, _) in [(name, CLIENTS[name]) for name in ("tftp-hpa", "atftp")]:
            for with_options in [(), options or ()]:
                name = "ipv6_%s_%s" % (client, bool(with_options))
                with self.subTest(client=client, options=with_options):
                    got = self.run_client(client, "get", self.in_local(name), "file_700",
                                          with_options, host="::1")
                    self.assertEqual(got.returncode, 0, got.stderr)
                    self.assertEqual(read(self.in_local(name)), content(700, 700))
                    write(self.in_local(name), content(LONG_SIZE, 7))
                    put = self.run_client(client, "put", self.in_local(name), name, with_options,
                                          host="::1")
                    self.assertEqual(put.returncode, 0, put.stderr)
                    self.assertEqual(read(self.served(name)), content(LONG_SIZE, 7))
            with self.subTest(client=client, outside=True):
                local = self.in_local("%s_outside" % client)
                result = self.run_client(client, "get", local, "../outside.bin", host="::1")
                self.assertIn(b"Access violation", result.stdout + result.stderr)
                self.assertFalse(os.path.exists(local) and read(local) == b"secret")

    def test_every_client_gets_and_puts_and_misses(self):
        for client, (block, options, missing) in CLIENTS.items():
            runs = [((), SIZES + [LONG_SIZE])]
            if options:
                runs.append((options, [0, 511, 512, 513, block - 1, block, block + 1, LONG_SIZE]))
            for with_options, sizes in runs:
                for size in sizes:
                    name = "%s_%s_%d" % (client, bool(with_options), size)
                    with self.subTest(client=client, options=with_options, size=size):
                        got = self.run_client(client, "get", self.in_local(name),
                                              "file_%d" % size, with_options)
                        self.assertEqual(got.returncode, 0, got.stderr)
                        self.assertEqual(read(self.in_local(name)), content(size, size))
                        write(self.in_local(name), content(size, size + 1))
                        put = self.run_client(client, "put", self.in_local(name), name,
                                              with_options)
                        self.assertEqual(put.returncode, 0, put.stderr)
                        self.assertEqual(read(self.served(name)), content(size, size + 1))
            with self.subTest(client=client, missing=True):
                local = self.in_local("%s_missing" % client)
                result = self.run_client(client, "get", local, "missing.bin")
                if isinstance(missing, int):
                    self.assertEqual(result.returncode, missing)
                else:
                    self.assertIn(missing, result.stdout + result.stderr)
                self.assertFalse(os.path.exists(local) and os.path.getsize(local) > 0)

    def test_netascii_served_byte_for_byte(self):
        # Only the client converts line ends: the server stores its netascii (CR LF, CR NUL).
        write(self.served("text_get"), b"one\r\ntwo\r\nlone\rend")
        write(self.in_local("text_put"), b"a\nb\rc\n")
        for direction, name in [("get", "text_get"), ("put", "text_put")]:
            tftp = command("tftp-hpa", direction, self.port, self.in_local(name), name)
            result = subprocess.run([word if word != "binary" else "netascii" for word in tftp],
                                    capture_output=True, timeout=CLIENT_TIMEOUT_S)
            self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(read(self.in_local("text_get")), b"one\ntwo\nlone\rend")
        self.assertEqual(read(self.served("text_put")), b"a\r\nb\r\0c\r\n")

    def test_twenty_clients_at_once(self):
        runs, expected = [], {}
        for index in range(CONCURRENT_CLIENTS):
            name, data, get = "many_%d" % index, content(256 * 1024, 1000 + index), index % 2 == 0
            write(self.served(name) if get else self.in_local(name), data)
            expected[self.in_local(name) if get else self.served(name)] = data
            runs.append(("get" if get else "put", self.in_local(name), name))
        with concurrent.futures.ThreadPoolExecutor(CONCURRENT_CLIENTS) as pool:
            results = list(pool.map(lambda run: self.run_client("tftp-hpa", *run), runs))
        self.assertEqual([result.returncode for result in results], [0] * CONCURRENT_CLIENTS)
        for target, data in expected.items():
            self.assertEqual(read(target), data, os.path.basename(target))

    def fetch_all(self, tag):
        """JUNK_FETCHES gets by tftp-hpa, four at a time: the number that failed."""
        def fetch(index):
            local = self.in_local("junk_%s_%d" % (tag, index))
            got = self.run_client("tftp-hpa", "get", local, "file_700")
            return got.returncode == 0 and read(local) == content(700, 700)
        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            return list(pool.map(fetch, range(JUNK_FETCHES))).count(False)

    def test_junk_at_the_listener_costs_no_transfers(self):
        without = self.fetch_all("quiet")
        stop, sent = threading.Event(), [0]
        junk = random.Random(24)

        def send_junk():
            # Datagrams the listener drops: other opcodes, requests without their zero byte.
            kinds = [b"\x00\x03\x00\x01", b"\x00\x04\x00\x07", b"\x00\x01name-without-end",
                     b"\x00\x09", b"\xff"]
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
                burst = JUNK_PER_SECOND // 100
                while sent[0] < JUNK_MOST and not stop.wait(0.01):
                    for _ in range(burst):
                        datagram = junk.choice(kinds) + junk.randbytes(junk.randrange(0, 600))
                        sender.sendto(datagram, (HOST, self.port))
                    sent[0] += burst

        sender = threading.Thread(target=send_junk)
        sender.start()
        try:
            with_junk = self.fetch_all("junk")
        finally:
            stop.set()
            sender.join(CLIENT_TIMEOUT_S)
        self.assertGreater(sent[0], 0)
        self.assertLessEqual(with_junk, without, "failed with junk: %d, without: %d of %d"
                             % (with_junk, without, JUNK_FETCHES))

    def test_block_after_65535_is_one_unless_asked(self):
        for options, after in [(RAW_OPTIONS, 1), (dict(RAW_OPTIONS, rollover="0"), 0)]:
            with self.subTest(options=options):
                oack, data, came = fetch_raw(self.port, "file_%d" % RAW_SIZE, options)
                self.assertEqual(oack, options | {"windowsize": oack["windowsize"]})
                self.assertEqual(came, after)
                self.assertEqual(data, content(RAW_SIZE, RAW_SIZE))


class TftpRolloverZero(HostCase):
    """A host whose block after 65535 is 0: ordinary clients read files past the wrap."""

    PROTOCOL = "TFTP"
    HOST_ARGUMENTS = ("--tftp-rollover", "0")

    @classmethod
    def prepare(cls):
        write(os.path.join(cls.root, "wrap"), content(WRAP_SIZE, WRAP_SIZE))

    def test_clients_read_past_the_wrap(self):
        def fetch(client):
            result = subprocess.run(command(client, "get", self.port, self.in_local(client), "wrap"),
                                    capture_output=True, timeout=CLIENT_TIMEOUT_S)
            return result.returncode, result.stderr
        clients = ["tftp-hpa", "atftp"]
        with concurrent.futures.ThreadPoolExecutor(len(clients)) as pool:
            results = dict(zip(clients, pool.map(fetch, clients)))
        for client, (returncode, stderr) in results.items():
            with self.subTest(client=client):
                self.assertEqual(returncode, 0, stderr)
                self.assertEqual(digest(self.in_local(client)), digest(self.served("wrap")))


if __name__ == "__main__":
    unittest.main()
