"""The process contract and the Unix and Windows NT personalities, driven in active mode."""

import ftplib
import io
import os
import random
import signal
import unittest

from testftpd_support import Server, ServerTestCase, lines_of, retr

PAYLOADS = {
    "empty.bin": b"",
    "one.bin": b"\x00",
    "every-byte.bin": bytes(range(256)) * 4,
    "large.bin": random.Random(7).randbytes(3 * 1024 * 1024 + 17),
}


class ProcessContract(unittest.TestCase):
    def test_prints_one_port_line_and_exits_cleanly_on_each_signal(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=sig):
                server = Server()
                self.assertRegex(server.first_line, rb"^PORT [1-9][0-9]*\n$")
                ftp = server.client()
                ftp.close()
                self.assertEqual(server.stop(sig), 0, server.errors())

    def test_given_port_is_used_and_a_taken_port_is_reported(self):
        first = Server()
        self.addCleanup(first.stop)
        with self.assertRaises(RuntimeError) as caught:
            Server("--port", str(first.port))
        self.assertIn("Address already in use", str(caught.exception))

    def test_own_user_and_password(self):
        server = Server("--user", "alice", "--password", "pw")
        self.addCleanup(server.stop)
        ftp = server.client(login=False)
        self.addCleanup(ftp.close)
        with self.assertRaises(ftplib.error_perm):
            ftp.login("tester", "secret")
        self.assertTrue(ftp.login("alice", "pw").startswith("230"))

    def test_missing_root_fails_with_a_message(self):
        with self.assertRaises(RuntimeError) as caught:
            Server(root="/nonexistent/testftpd")
        self.assertIn("is not a folder", str(caught.exception))


class TransfersInEveryPersonality(ServerTestCase):
    def test_retr_and_stor_in_active_mode_byte_for_byte(self):
        for personality in ("unix", "windows", "os400"):
            with self.subTest(personality=personality):
                server = self.start(personality=personality)
                ftp = self.connect(server)
                ftp.voidcmd("TYPE I")
                for name, data in PAYLOADS.items():
                    server.write(name, data)
                    reply, got = retr(ftp, "/" + name)
                    self.assertEqual(got, data, name)
                    self.assertIn(reply[:3], ("226", "250"))
                    ftp.storbinary("STOR /up-" + name, io.BytesIO(data))
                    self.assertEqual(server.read("up-" + name), data, name)

    def test_appe_and_resumed_retr(self):
        for personality in ("unix", "windows", "os400"):
            with self.subTest(personality=personality):
                server = self.start(personality=personality)
                ftp = self.connect(server)
                ftp.voidcmd("TYPE I")
                server.write("f.bin", b"0123456789")
                ftp.storbinary("APPE /f.bin", io.BytesIO(b"abc"))
                self.assertEqual(server.read("f.bin"), b"0123456789abc")
                self.assertTrue(ftp.sendcmd("REST 4").startswith("350"))
                buf = io.BytesIO()
                ftp.retrbinary("RETR /f.bin", buf.write)
                self.assertEqual(buf.getvalue(), b"456789abc")
                self.assertEqual(ftp.sendcmd("SIZE /f.bin"), "213 13")


class UnixPersonality(ServerTestCase):
    def test_greeting_syst_and_directories(self):
        server = self.start()
        os.mkdir(server.path("sub"))
        ftp = self.connect(server, login=False)
        self.assertTrue(ftp.getwelcome().startswith("220 "))
        ftp.login("tester", "secret")
        self.assertEqual(ftp.sendcmd("SYST"), "215 UNIX Type: L8")
        self.assertEqual(ftp.sendcmd("PWD"), '257 "/" is the current directory.')
        self.assertEqual(ftp.sendcmd("CWD sub"), '250 "/sub" is the current directory.')
        self.assertEqual(ftp.sendcmd("CDUP"), '250 "/" is the current directory.')

    def test_listing_is_ls_long_format(self):
        server = self.start()
        os.mkdir(server.path("dir one"))
        server.write("file.txt", b"12345")
        _, lines = lines_of(self.connect(server), "LIST")
        self.assertEqual(len(lines), 2)
        directory = next(l for l in lines if l.endswith("dir one"))
        plain = next(l for l in lines if l.endswith("file.txt"))
        self.assertEqual(directory[0], "d")
        self.assertEqual(plain[0], "-")
        self.assertEqual(plain.split()[4], "5")  # rights, links, owner, group, size


class WindowsPersonality(ServerTestCase):
    personality = "windows"

    def test_greeting_login_syst_pwd_cwd(self):
        server = self.start()
        os.mkdir(server.path("sub"))
        ftp = self.connect(server, login=False)
        self.assertEqual(ftp.getwelcome(), "220 Microsoft FTP Service")
        self.assertEqual(ftp.sendcmd("USER tester"), "331 Password required")
        self.assertEqual(ftp.sendcmd("PASS secret"), "230 User logged in.")
        self.assertEqual(ftp.sendcmd("SYST"), "215 Windows_NT")
        self.assertEqual(ftp.sendcmd("PWD"), '257 "/" is current directory.')
        self.assertEqual(ftp.sendcmd("CWD sub"), "250 CWD command successful.")
        self.assertEqual(ftp.sendcmd("PWD"), '257 "/sub" is current directory.')
        self.assertEqual(ftp.sendcmd("CDUP"), "250 CDUP command successful.")
        self.assertEqual(ftp.sendcmd("TYPE I"), "200 Type set to I.")

    def test_dos_listing_columns_and_completion(self):
        server = self.start()
        os.mkdir(server.path("16-dos dir"))
        server.write("17 dos file", b"x" * 589)
        ftp = self.connect(server)
        reply, lines = lines_of(ftp, "LIST")
        self.assertEqual(reply, "226 Transfer complete.")
        self.assertEqual(len(lines), 2)
        stamp = r"\d\d-\d\d-\d\d  \d\d:\d\d[AP]M"
        self.assertRegex(lines[0], "^%s       <DIR>          16-dos dir$" % stamp)
        self.assertRegex(lines[1], "^%s {18}589 17 dos file$" % stamp)
        self.assertEqual(lines[0].index("<DIR>"), 24)
        self.assertEqual(lines[1].index("589") + 3, 38)  # size ends at column 37
        self.assertEqual(lines[1].index("17 dos"), 39)

    def test_transfer_start_reply(self):
        server = self.start()
        server.write("a", b"1")
        raw = server.raw()
        self.addCleanup(raw.close)
        raw.login()
        data, reply = raw.open_data()
        self.addCleanup(data.close)
        self.assertEqual(reply, "200 PORT command successful.\r\n")
        raw.send("RETR a")
        self.assertEqual(raw.read_reply(), "125 Data connection already open; "
                                           "Transfer starting.\r\n")
        self.assertEqual(data.recv(10), b"1")
        self.assertEqual(raw.read_reply(), "226 Transfer complete.\r\n")

if __name__ == "__main__":
    unittest.main()
