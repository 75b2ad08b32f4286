"""Switches that put replies out of step with the commands or break transfers midway: each
one seen at byte level, with the data connection handled by hand."""

import os
import time
import unittest

from testftpd_support import ServerTestCase, accepted, read_all


class RawCase(ServerTestCase):
    def raw(self, server, login=True):
        raw = server.raw()
        self.addCleanup(raw.close)
        if login:
            raw.login()
        return raw

    def data(self, raw):
        conn, reply = raw.open_data()
        self.addCleanup(conn.close)
        return conn, reply


class RepliesOutOfStep(RawCase):
    def test_late_reply_holds_back_that_reply_and_those_after_it(self):
        server = self.start("--late-replies", "DELE", "--late-delay", "700")
        server.write("victim", b"x")
        raw = self.raw(server)
        started = time.monotonic()
        raw.send("NOOP")
        self.assertTrue(raw.read_reply().startswith("200 "))
        self.assertLess(time.monotonic() - started, 0.5)
        started = time.monotonic()
        raw.send("DELE victim")
        raw.send("NOOP")
        self.assertTrue(raw.silent(0.4))
        self.assertFalse(os.path.exists(server.path("victim")))  # done at once, told late
        self.assertTrue(raw.read_reply().startswith("250 "))
        self.assertGreaterEqual(time.monotonic() - started, 0.65)
        self.assertTrue(raw.read_reply().startswith("200 "))  # still in order

    def test_extra_reply_after_a_command(self):
        cases = [
            # switches, command, the lines that follow it, silence before the last one
            (("--extra-reply", "NOOP"), "NOOP",
             [b"200 I successfully did nothing'.\r\n"] * 2, 0),
            (("--extra-reply", "CWD", "--extra-text", r"550 Unsolicited\x21",
              "--extra-pause", "500"), "CWD /",
             [b'250 "/" is the current directory.\r\n', b"550 Unsolicited!\r\n"], 0.3),
        ]
        for args, command, lines, pause in cases:
            with self.subTest(args=args):
                raw = self.raw(self.start(*args))
                raw.send(command)
                self.assertEqual(raw.read(b"\r\n"), lines[0])
                if pause:
                    self.assertTrue(raw.silent(pause))
                self.assertEqual(raw.read(b"\r\n"), lines[1])
                self.assertTrue(raw.silent(0.3))  # and nothing more

    def test_completion_reply_before_the_download_ends(self):
        for personality, done in (("unix", "226 Transfer complete.\r\n"),
                                  ("os400", "250 File transfer completed successfully.\r\n")):
            with self.subTest(personality=personality):
                server = self.start("--early-completion", "RETR", "--data-rate", "200000",
                                    personality=personality)
                content = os.urandom(500000)
                server.write("home/f.bin", content)
                raw = self.raw(server)
                raw.send("TYPE I")
                raw.read_reply()
                conn, _ = self.data(raw)
                raw.send("RETR /home/f.bin")
                self.assertTrue(raw.read_reply().startswith("1"))
                self.assertEqual(raw.read_reply(timeout=0.5), done)  # long before the end
                self.assertEqual(read_all(conn), (content, None))
                self.assertTrue(raw.silent(0.3))  # no second completion reply

    def test_completion_reply_before_the_upload_is_sent(self):
        server = self.start("--early-completion", "STOR")
        raw = self.raw(server)
        raw.send("TYPE I")
        raw.read_reply()
        conn, _ = self.data(raw)
        raw.send("STOR up.bin")
        self.assertTrue(raw.read_reply().startswith("125 "))
        self.assertEqual(raw.read_reply(timeout=2), "226 Transfer complete.\r\n")
        content = os.urandom(200000)
        conn.sendall(content)
        conn.close()
        self.assertTrue(raw.silent(0.5))
        self.assertEqual(server.read("up.bin"), content)

    def test_port_reply_comes_late_and_is_425_when_the_port_is_gone(self):
        server = self.start("--port-connect-delay", "600")
        raw = self.raw(server)
        started = time.monotonic()
        raw.send_port().close()  # the client gives up on its data port at once
        self.assertTrue(raw.silent(0.4))
        self.assertEqual(raw.read_reply(), "425 Can't connect to specified address.\r\n")
        self.assertGreaterEqual(time.monotonic() - started, 0.55)
        # a port still open gets its connection, and the 200, just as late
        listener = raw.send_port()
        self.addCleanup(listener.close)
        self.assertIsNone(accepted(listener, 0.3))
        conn = accepted(listener, 2)
        self.assertIsNotNone(conn)
        conn.close()
        self.assertTrue(raw.read_reply().startswith("200 "))

    def test_unreachable_port_gets_425_without_a_connection(self):
        raw = self.raw(self.start("--port-connect-delay", "300", "--port-unreachable"))
        listener = raw.send_port()
        self.addCleanup(listener.close)
        self.assertTrue(raw.silent(0.2))
        self.assertIsNone(accepted(listener, 0.5))
        self.assertEqual(raw.read_reply(), "425 Can't connect to specified address.\r\n")


class BrokenTransfers(RawCase):
    def test_start_reply_then_550(self):
        server = self.start("--fail-after-start", "RETR,STOR")
        server.write("f", b"old content")
        ftp = self.connect(server)
        ftp.voidcmd("TYPE I")
        for command in ("RETR f", "STOR f"):
            with self.subTest(command=command):
                conn = ftp.transfercmd(command)  # the 125 start reply
                got, _ = read_all(conn)
                conn.close()
                self.assertEqual(got, b"")
                self.assertEqual(ftp.getline(), "550 File unavailable; transfer failed.")
        self.assertEqual(ftp.voidcmd("NOOP")[:3], "200")

    def test_start_reply_and_no_data_connection_ever(self):
        server = self.start("--no-data-connection", "RETR:800")
        server.write("f", b"content")
        raw = self.raw(server)
        listener = raw.send_port()
        self.addCleanup(listener.close)
        self.assertTrue(raw.read_reply(timeout=0.5).startswith("200 "))  # before connecting
        raw.send("RETR f")
        self.assertTrue(raw.read_reply().startswith("150 "))
        started = time.monotonic()
        self.assertIsNone(accepted(listener, 0.5))
        self.assertEqual(raw.read_reply(), "425 Can't open data connection.\r\n")
        self.assertGreaterEqual(time.monotonic() - started, 0.25)
        # other transfers get their connection when they are asked for
        listener = raw.send_port()
        self.addCleanup(listener.close)
        raw.read_reply()
        raw.send("LIST")
        conn = accepted(listener, 2)
        self.addCleanup(conn.close)
        self.assertTrue(raw.read_reply().startswith("150 "))
        self.assertIn(b" f\r\n", read_all(conn)[0])
        self.assertEqual(raw.read_reply(), "226 Transfer complete.\r\n")

    def test_cut_data_connections_and_what_the_server_says_then(self):
        content = bytes(range(256)) * 400
        cases = [
            # switches, how the download ends, the reply after it
            ((), None, "426 Connection closed; transfer aborted."),
            (("--drop-data-reply", "226"), None, "226 Transfer complete."),
            (("--drop-data-reset", "--drop-data-reply", "226"), ConnectionResetError,
             "226 Transfer complete."),
        ]
        for args, ending, reply in cases:
            with self.subTest(args=args):
                server = self.start("--drop-data-after", "1000", *args)
                server.write("f", content)
                ftp = self.connect(server)
                ftp.voidcmd("TYPE I")
                conn = ftp.transfercmd("RETR f")
                time.sleep(0.2)  # let the cut happen with the bytes unread
                got, error = read_all(conn)
                conn.close()
                self.assertEqual(got, content[:1000])
                self.assertIsInstance(error, ending) if ending else self.assertIsNone(error)
                self.assertEqual(ftp.getline(), reply)

                conn = ftp.transfercmd("STOR up.bin")
                try:
                    conn.sendall(content * 4)
                except OSError:
                    pass  # the server cut the connection under us
                conn.close()
                self.assertEqual(ftp.getline(), reply)
                self.assertEqual(server.read("up.bin"), content[:1000])

    def test_download_shorter_than_announced(self):
        for personality in ("unix", "windows"):
            with self.subTest(personality=personality):
                server = self.start("--short-downloads", "10", "--announce-size",
                                    personality=personality)
                content = os.urandom(1000)
                server.write("f.bin", content)
                ftp = self.connect(server)
                ftp.voidcmd("TYPE I")
                self.assertEqual(ftp.sendcmd("SIZE f.bin"), "213 1000")
                conn = ftp.transfercmd("RETR f.bin")
                self.assertRegex(ftp.lastresp, "^1[25]5$")
                self.assertEqual(read_all(conn), (content[:990], None))  # a clean end
                conn.close()
                self.assertTrue(ftp.voidresp().startswith("226 "))

    def test_start_reply_names_the_length_left_to_send(self):
        server = self.start("--announce-size")
        server.write("f.bin", b"x" * 1234)
        raw = self.raw(server)
        conn, _ = self.data(raw)
        for command in ("TYPE I", "REST 34", "RETR f.bin"):
            raw.send(command)
        reply = raw.read(b"bytes).\r\n").split(b"\r\n")[-2]
        self.assertEqual(reply, b"125 Opening BINARY mode data connection for f.bin (1200 bytes).")
        self.assertEqual(read_all(conn), (b"x" * 1200, None))


if __name__ == "__main__":
    unittest.main()
