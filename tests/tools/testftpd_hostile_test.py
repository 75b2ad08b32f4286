"""Switches for a hostile server: reply lines a client must not take at face value, and listed
names it must never turn into a path outside its own folder."""

import ftplib
import os
import re
import shutil
import tempfile
import unittest

from testftpd_support import ServerTestCase, read_all

HOSTILE = ["../../.bashrc", "a/b", "/tmp/testftpd-absolute", ".", "..", "..\\..\\boot.ini",
           "clear\x1b[2J\x07bell", "forged\r< 230 Logged in", "nul\x00name"]


class HostileReplies(ServerTestCase):
    def raw(self, *args, personality=None):
        raw = self.start(*args, personality=personality).raw()
        self.addCleanup(raw.close)
        return raw

    def test_bare_lf_ends_the_lines_of_the_named_replies(self):
        raw = self.raw("--bare-lf", "GREETING,NOOP", personality="os400")
        greeting = raw.read(b"minutes.\n")
        self.assertRegex(greeting, rb"^220-QTCP at [^\r\n]+\.\n220 Connection will close if "
                                   rb"idle more than 5 minutes\.\n$")
        for line in ("USER tester", "PASS secret", "NOOP", "PWD"):
            raw.send(line)
        self.assertEqual(raw.read(b'library.\r\n'),
                         b"331 Enter password.\r\n230 TESTER logged on.\r\n"
                         b"200 NOOP subcommand request successful.\n"
                         b'257 "QGPL" is current library.\r\n')

    def test_reply_text_replaces_the_final_reply(self):
        cases = [
            ("DELE=+250 Deleted.", "DELE victim", b"+250 Deleted.\r\n"),
            ("DELE= 250 Deleted.", "DELE victim", b" 250 Deleted.\r\n"),
            (r'PWD=257 "/home/a\nDELE x" is current directory.', "PWD",
             b'257 "/home/a\nDELE x" is current directory.\r\n'),
        ]
        for switch, command, expected in cases:
            with self.subTest(switch=switch):
                server = self.start("--reply-text", switch)
                server.write("victim", b"x")
                raw = server.raw()
                self.addCleanup(raw.close)
                raw.login()
                raw.send(command)
                self.assertEqual(raw.read(b"\r\n"), expected)
                if command.startswith("DELE"):  # the command itself was done
                    self.assertFalse(os.path.exists(server.path("victim")))

    def test_control_characters_in_a_reply(self):
        raw = self.raw("--control-chars", "CWD")
        raw.login()
        raw.send("CWD /")
        line = raw.read(b"\r\n")
        self.assertTrue(line.startswith(b"250 \x1b[2J"), line)
        self.assertIn(b"\x07", line)
        self.assertIn(b"current directory.\x08\x7f\r< 230 Forged log line\r\n", line)
        raw.send("NOOP")
        self.assertEqual(raw.read(b"\r\n"), b"200 I successfully did nothing'.\r\n")

    def test_refused_password_is_echoed(self):
        server = self.start("--echo-password")
        ftp = self.connect(server, login=False)
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.login("tester", "Wrong\"Pass")
        self.assertEqual(str(caught.exception), '530 Login incorrect for password Wrong"Pass.')
        self.assertEqual(ftp.login("tester", "secret"), "230 Login successful.")


def listing_names(personality, lines):
    """The names of a LIST in each personality's format (a name starts at a fixed field)."""
    if personality == "unix":
        return [re.match(r"^(?:\S+\s+){8}(.*)$", l, re.S).group(1) for l in lines]
    if personality == "windows":
        return [l[39:] for l in lines]
    return [l[51:] for l in lines]


class HostileListings(ServerTestCase):
    def test_listing_holds_the_hostile_names_in_every_personality(self):
        for personality in ("unix", "windows", "os400"):
            with self.subTest(personality=personality):
                server = self.start("--hostile-listing", "--listing-name", r"tab\there",
                                    personality=personality)
                server.write("home/real.txt", b"real")
                ftp = self.connect(server)
                ftp.cwd("/home")
                conn = ftp.transfercmd("LIST")
                listing = read_all(conn)[0].decode("utf8")
                conn.close()
                ftp.voidresp()
                lines = listing.split("\r\n")[:-1]
                names = listing_names(personality, lines)
                self.assertEqual(names, ["real.txt"] + HOSTILE + ["tab\there"])
                if personality == "unix":
                    self.assertTrue(all(l.startswith("-rw-r--r--") for l in lines))
                elif personality == "os400":
                    self.assertTrue(all(l[40:50] == "*STMF     " for l in lines))
                    self.assertIn(" *STMF      ../../.bashrc\r\n", listing)
                else:
                    self.assertRegex(lines[1], r"^\d\d-\d\d-\d\d  \d\d:\d\d[AP]M +\d+ \.\./")

                conn = ftp.transfercmd("NLST")
                self.assertEqual(read_all(conn)[0].decode("utf8").split("\r\n")[:-1],
                                 ["real.txt"] + HOSTILE + ["tab\there"])
                conn.close()
                ftp.voidresp()

    def test_listed_names_can_be_downloaded_as_they_stand(self):
        server = self.start("--hostile-listing")
        ftp = self.connect(server)
        ftp.voidcmd("TYPE I")
        for name, requested in (("../../.bashrc", "../../.bashrc"),
                                ("a/b", "/somewhere/a/b"),
                                ("..", "..")):
            with self.subTest(name=name):
                size = int(ftp.sendcmd("SIZE " + requested)[4:])
                conn = ftp.transfercmd("RETR " + requested)
                content = read_all(conn)[0]
                conn.close()
                ftp.voidresp()
                self.assertEqual(len(content), size)
                self.assertIn(repr(name).encode(), content)
        with self.assertRaises(ftplib.error_perm):  # other names are what they always were
            ftp.sendcmd("SIZE ../../etc/passwd")

    def test_a_listing_file_is_sent_as_it_stands(self):
        canned = b"line one\r\nline two, no end"
        folder = tempfile.mkdtemp(prefix="testftpd-canned-")
        self.addCleanup(shutil.rmtree, folder, True)
        with open(os.path.join(folder, "canned"), "wb") as file:
            file.write(canned)
        server = self.start("--listing-file", os.path.join(folder, "canned"),
                            personality="os400")
        ftp = self.connect(server)
        conn = ftp.transfercmd("LIST")
        self.assertEqual(read_all(conn)[0], canned)
        conn.close()
        self.assertEqual(ftp.voidresp(), "250 List completed.")

if __name__ == "__main__":
    unittest.main()
