"""Each fault switch does what it says, seen at byte level where ftplib would hide it."""

import ftplib
import io
import time
import unittest

from testftpd_support import ServerTestCase, retr


class ControlFaults(ServerTestCase):
    def raw(self, server):
        raw = server.raw()
        self.addCleanup(raw.close)
        return raw

    def test_no_greeting_and_no_answers(self):
        raw = self.raw(self.start("--no-greeting"))
        self.assertEqual(raw.read(b"\r\n", timeout=1), b"")
        raw.send("USER tester")
        self.assertEqual(raw.read(b"\r\n", timeout=1), b"")
        self.assertFalse(raw.closed_by_peer(timeout=0.2))

    def test_reply_delay(self):
        raw = self.raw(self.start("--reply-delay", "400"))
        raw.read_reply()
        started = time.monotonic()
        raw.send("NOOP")
        self.assertTrue(raw.read_reply().startswith("200 "))
        self.assertGreaterEqual(time.monotonic() - started, 0.35)

    def test_split_replies_arrive_in_pieces_and_in_order(self):
        raw = self.raw(self.start("--split-replies", "3", "--split-pause", "30"))
        chunks = raw.reads(b"ready.\r\n")
        self.assertGreater(len(chunks), 5)
        self.assertTrue(all(len(c) <= 6 for c in chunks), chunks)
        self.assertRegex(b"".join(chunks), rb"^220 pyftpdlib [0-9.]+ ready\.\r\n$")
        raw.send("USER tester")
        raw.send("PASS secret")
        raw.send("QUIT")
        replies = raw.read(b"221 Goodbye.\r\n")
        self.assertEqual(replies, b"331 Username ok, send password.\r\n230 Login successful.\r\n"
                                  b"221 Goodbye.\r\n")
        self.assertTrue(raw.closed_by_peer())

    def test_multiline_replies_only_end_at_code_and_blank(self):
        raw = self.raw(self.start("--multiline-replies", "GREETING,NOOP"))
        greeting = raw.read_reply()
        lines = greeting.split("\r\n")[:-1]
        self.assertEqual(lines[0][:4], "220-")
        self.assertEqual(lines[-1][:4], "220 ")
        inner = lines[1:-1]
        self.assertTrue(any(not l[:1].isdigit() for l in inner))  # lines without a code
        self.assertTrue(any(l.startswith("2200") for l in inner))
        self.assertTrue(any(l[:3].isdigit() and l[:3] != "220" and l[3] == " " for l in inner))
        self.assertFalse(any(l.startswith("220 ") for l in inner))
        for line in ("USER tester", "PASS secret"):
            raw.send(line)
            self.assertEqual(raw.read_reply()[3], " ")
        raw.send("PWD")
        self.assertEqual(raw.read_reply(), '257 "/" is the current directory.\r\n')
        raw.send("NOOP")
        noop = raw.read_reply().split("\r\n")
        self.assertEqual(noop[0][:4], "200-")
        self.assertTrue(noop[-2].startswith("200 "))

    def test_multiline_for_every_reply_including_transfers(self):
        server = self.start("--multiline-replies", "*")
        server.write("f", b"data")
        raw = self.raw(server)
        self.assertTrue(raw.login().split("\r\n")[-2].startswith("220 "))
        data, reply = raw.open_data()
        self.addCleanup(data.close)
        self.assertTrue(reply.startswith("200-") and "\r\n200 Active data" in reply)
        raw.send("RETR f")
        self.assertTrue(raw.read_reply().startswith("125-"))
        self.assertEqual(data.makefile("rb").read(), b"data")
        self.assertIn("\r\n226 Transfer complete.\r\n", raw.read_reply())

    def test_overlong_replies(self):
        raw = self.raw(self.start("--overlong-replies", "NOOP", "--overlong-length", "10000"))
        raw.login()
        raw.send("NOOP")
        raw.send("PWD")
        data = raw.read(b"directory.\r\n")
        first, second, _ = data.split(b"\r\n")
        self.assertEqual(len(first), 10000)
        self.assertTrue(first.startswith(b"200 ") and first.endswith(b"xxxx"))
        self.assertTrue(second.startswith(b"257 "))

    def test_garbage_replies(self):
        raw = self.raw(self.start("--garbage-replies", "PWD"))
        raw.login()
        raw.send("PWD")
        line = raw.read(b"\r\n")
        self.assertFalse(line[:3].isdigit(), line)
        raw.send("NOOP")
        self.assertTrue(raw.read_reply().startswith("200 "))

    def test_drop_control_after_nth_command(self):
        server = self.start("--drop-control-after", "pwd:2")
        raw = self.raw(server)
        raw.login()
        raw.send("PWD")
        self.assertTrue(raw.read_reply().startswith("257"))
        raw.send("PWD")
        self.assertEqual(raw.read(b"\r\n", timeout=2), b"")
        self.assertTrue(raw.closed_by_peer())
        # the count is the server's: later sessions keep their link
        ftp = self.connect(server)
        self.assertTrue(ftp.pwd())

    def test_a_line_without_a_verb_is_answered_in_every_personality(self):
        for personality in ("unix", "windows", "os400"):
            with self.subTest(personality):
                raw = self.raw(self.start(personality=personality))
                raw.login()
                for line in ("", "  LIST"):
                    raw.send(line)
                    self.assertTrue(raw.read_reply().startswith("500"), line)
                raw.send("NOOP")
                self.assertTrue(raw.read_reply().startswith("2"))

    def test_refused_rest_and_unknown_size(self):
        server = self.start("--refuse-rest", "--no-size")
        server.write("f", b"0123456789")
        ftp = self.connect(server)
        ftp.voidcmd("TYPE I")
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.sendcmd("REST 4")
        self.assertTrue(str(caught.exception).startswith("502 "))
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.size("f")
        self.assertEqual(str(caught.exception), '500 Command "SIZE" not understood.')
        self.assertEqual(retr(ftp, "f")[1], b"0123456789")  # no restart position left behind


class DataFaults(ServerTestCase):
    def test_download_cut_after_n_bytes_then_resumed(self):
        server = self.start("--drop-data-after", "1000", "--drop-data-count", "1")
        data = bytes(range(256)) * 40
        server.write("big.bin", data)
        ftp = self.connect(server)
        ftp.voidcmd("TYPE I")
        received = io.BytesIO()
        with self.assertRaises(ftplib.error_temp) as caught:
            ftp.retrbinary("RETR big.bin", received.write)
        self.assertEqual(str(caught.exception), "426 Connection closed; transfer aborted.")
        self.assertEqual(received.getvalue(), data[:1000])
        ftp.retrbinary("RETR big.bin", received.write, rest=1000)
        self.assertEqual(received.getvalue(), data)

    def test_every_transfer_is_cut_without_a_count(self):
        server = self.start("--drop-data-after", "10")
        server.write("f", b"x" * 100)
        ftp = self.connect(server)
        for _ in range(2):
            got = io.BytesIO()
            with self.assertRaises(ftplib.error_temp):
                ftp.retrbinary("RETR f", got.write)
            self.assertEqual(len(got.getvalue()), 10)

    def test_upload_cut_after_n_bytes(self):
        server = self.start("--drop-data-after", "5000")
        ftp = self.connect(server)
        conn = ftp.transfercmd("STOR up.bin")
        try:
            conn.sendall(b"u" * 200000)
        except OSError:
            pass  # the server closed the data connection under us
        conn.close()
        self.assertEqual(ftp.getline(),
                         "426 Connection closed; transfer aborted.")
        self.assertEqual(server.read("up.bin"), b"u" * 5000)

    def test_data_rate(self):
        server = self.start("--data-rate", "100000")
        server.write("f", b"r" * 250000)
        ftp = self.connect(server)
        ftp.voidcmd("TYPE I")
        started = time.monotonic()
        self.assertEqual(len(retr(ftp, "f")[1]), 250000)
        self.assertGreater(time.monotonic() - started, 1.0)


if __name__ == "__main__":
    unittest.main()
