"""Passive mode (PASV and EPSV) in every personality, a PASV reply naming another address, a
refused PASV, and the data faults over a connection the client makes."""

import ftplib
import os
import re
import socket
import time
import unittest

from testftpd_support import ServerTestCase, read_all

PASSIVE_REPLIES = {
    "unix": (r"^227 Entering passive mode \((127,0,0,1),(\d+),(\d+)\)\.\r\n$",
             r"^229 Entering extended passive mode \(\|\|\|(\d+)\|\)\.\r\n$"),
    "windows": (r"^227 Entering Passive Mode \((127,0,0,1),(\d+),(\d+)\)\.\r\n$",
                r"^229 Entering Extended Passive Mode \(\|\|\|(\d+)\|\)\r\n$"),
    "os400": (r"^227 Entering Passive Mode \((127,0,0,1),(\d+),(\d+)\)\.\r\n$",
              r"^229 Entering Extended Passive Mode \(\|\|\|(\d+)\|\)\r\n$"),
}


class PassiveCase(ServerTestCase):
    def raw(self, server):
        raw = server.raw()
        self.addCleanup(raw.close)
        raw.login()
        raw.send("TYPE I")
        raw.read_reply()
        return raw

    def passive(self, raw, verb, pattern):
        """Sends PASV or EPSV and connects to the port its reply names, on 127.0.0.1."""
        raw.send(verb)
        reply = raw.read_reply()
        match = re.match(pattern, reply)
        self.assertTrue(match, reply)
        numbers = [int(n) for n in match.groups()[-2:]]
        port = numbers[0] * 256 + numbers[1] if verb == "PASV" else numbers[-1]
        conn = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.addCleanup(conn.close)
        return conn, match


class PassiveMode(PassiveCase):
    def test_pasv_and_epsv_in_every_personality(self):
        content = os.urandom(100000)
        for personality, (pasv, epsv) in PASSIVE_REPLIES.items():
            with self.subTest(personality=personality):
                server = self.start(personality=personality)
                server.write("home/f.bin", content)
                raw = self.raw(server)
                conn, _ = self.passive(raw, "PASV", pasv)
                raw.send("RETR /home/f.bin")
                self.assertRegex(raw.read_reply(), "^1(25|50) ")
                self.assertEqual(read_all(conn), (content, None))
                self.assertRegex(raw.read_reply(), "^2[25][06] ")

                conn, _ = self.passive(raw, "EPSV", epsv)
                raw.send("STOR /home/up.bin")
                self.assertRegex(raw.read_reply(), "^1(25|50) ")
                conn.sendall(content)
                conn.close()
                self.assertRegex(raw.read_reply(), "^2[25][06] ")
                self.assertEqual(server.read("home/up.bin"), content)

    def test_pasv_reply_naming_another_address(self):
        server = self.start("--pasv-address", "10.9.8.7")
        server.write("f", b"data")
        raw = self.raw(server)
        pattern = PASSIVE_REPLIES["unix"][0].replace("127,0,0,1", "10,9,8,7")
        conn, _ = self.passive(raw, "PASV", pattern)  # yet it listens on 127.0.0.1
        raw.send("RETR f")
        raw.read_reply()
        self.assertEqual(read_all(conn), (b"data", None))

    def test_refused_pasv_leaves_epsv(self):
        server = self.start("--refuse", "PASV")
        server.write("f", b"data")
        ftp = self.connect(server)
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.sendcmd("PASV")
        self.assertEqual(str(caught.exception), "502 PASV command not implemented.")
        raw = self.raw(server)
        conn, _ = self.passive(raw, "EPSV", PASSIVE_REPLIES["unix"][1])
        raw.send("RETR f")
        raw.read_reply()
        self.assertEqual(read_all(conn), (b"data", None))


class PassiveDataFaults(PassiveCase):
    def test_start_faults_over_a_connection_the_client_made(self):
        cases = [
            # switches, silence before the final reply, the bytes, the final reply
            (("--no-data-connection", "RETR:600"), 0.4, b"",
             "425 Can't open data connection.\r\n"),
            (("--fail-after-start", "RETR"), 0, b"", "550 File unavailable; transfer failed.\r\n"),
            (("--drop-data-after", "100"), 0, b"x" * 100,
             "426 Connection closed; transfer aborted.\r\n"),
        ]
        for args, silence, data, reply in cases:
            with self.subTest(args=args):
                server = self.start(*args)
                server.write("f", b"x" * 5000)
                raw = self.raw(server)
                conn, _ = self.passive(raw, "PASV", PASSIVE_REPLIES["unix"][0])
                raw.send("RETR f")
                self.assertRegex(raw.read_reply(), "^1(25|50) ")  # 125 once it has accepted
                started = time.monotonic()
                if silence:
                    conn.settimeout(silence)  # connected, yet neither data nor a close
                    self.assertRaises(socket.timeout, conn.recv, 1)
                    self.assertTrue(raw.silent(0.05))
                self.assertEqual(raw.read_reply(), reply)
                self.assertGreaterEqual(time.monotonic() - started, silence)
                self.assertEqual(read_all(conn), (data, None))


if __name__ == "__main__":
    unittest.main()
