"""The IBM i personality: replies, naming formats, the QSYS.LIB tree, its name rules and RCMD."""

import ftplib
import io
import os
import re
import unittest

from testftpd_support import ServerTestCase, lines_of, retr

NOT_FOUND = ("550-Specified directory does not exist or cannot be accessed.\n"
             "550 Working directory not changed.")
LINE = re.compile(r"^(.{10}) (.{10}) (.{8}) (.{8}) (.{10}) ?(.*)$")


def fields(line):
    """Cuts a native listing line at its fixed columns (owner, size, date, time, type, name)."""
    match = LINE.match(line.ljust(50))
    return tuple(f.strip() for f in match.groups()) if match else None


class Os400Case(ServerTestCase):
    personality = "os400"

    def setUp(self):
        self.server = self.start()
        s = self.server
        s.write("QSYS.LIB/RPGUNIT.LIB/RPGUNITC1.FILE/MKCMD.MBR", b"A\nB\n")
        s.write("QSYS.LIB/RPGUNIT.LIB/RPGUNITC1.FILE/RUCALLTST.MBR", b"xyz")
        s.write("QSYS.LIB/RPGUNIT.LIB/RPGUNIT.SAVF", b"12345678")
        s.write("home/ssk/readme.htm", b"<html>")
        os.mkdir(s.path("home", "ssk", "java_applets"))
        self.ftp = self.connect(s)


class Replies(Os400Case):
    def test_greeting_login_syst_quit(self):
        ftp = self.connect(self.server, login=False)
        self.assertRegex(ftp.getwelcome(), r"^220-QTCP at .+\.\n"
                         r"220 Connection will close if idle more than 5 minutes\.$")
        self.assertEqual(ftp.sendcmd("USER tester"), "331 Enter password.")
        self.assertEqual(ftp.sendcmd("PASS secret"), "230 TESTER logged on.")
        self.assertEqual(ftp.sendcmd("SYST"), '215  OS/400 is the remote operating system. '
                                              'The TCP/IP version is "V7R3M0".')
        self.assertEqual(ftp.sendcmd("TYPE I"), "200 Representation type is binary IMAGE.")
        self.assertEqual(ftp.sendcmd("TYPE A"), "200 Representation type is ASCII nonprint.")
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.sendcmd("XYZZY")
        self.assertEqual(str(caught.exception), "500 XYZZ is not a valid subcommand.")
        self.assertEqual(ftp.sendcmd("QUIT"), "221 QUIT subcommand received.")


class NamingFormats(Os400Case):
    def test_format_0_works_on_libraries(self):
        ftp = self.ftp
        self.assertEqual(ftp.sendcmd("PWD"), '257 "QGPL" is current library.')
        self.assertEqual(ftp.sendcmd("CWD rpgunit"), '250 "RPGUNIT" is current library.')
        self.assertEqual(ftp.sendcmd("PWD"), '257 "RPGUNIT" is current library.')
        self.assertEqual(ftp.sendcmd("SITE NAMEFMT"), '250  Now using naming format "0".')
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.sendcmd("CWD QTEMP")
        self.assertEqual(str(caught.exception), NOT_FOUND)
        _, got = retr(ftp, "RPGUNITC1.RUCALLTST")
        self.assertEqual(got, b"xyz")
        _, got = retr(ftp, "rpgunit/rpgunitc1.mkcmd")
        self.assertEqual(got, b"A\nB\n")
        # a path parameter after the first never switches the format
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.sendcmd("SIZE /home/ssk/readme.htm")
        self.assertEqual(str(caught.exception),
                         "501 File must be specified by library/file.member.")

    def test_site_namefmt_1_and_pwd_cwd_replies(self):
        ftp = self.ftp
        self.assertEqual(ftp.sendcmd("SITE NAMEFMT 1"), '250  Now using naming format "1".')
        self.assertEqual(ftp.sendcmd("PWD"), '257 "/QSYS.LIB/QGPL.LIB" is current library.')
        self.assertEqual(ftp.sendcmd("CWD /qsys.lib/rpgunit.lib"),
                         '250 "/QSYS.LIB/RPGUNIT.LIB" is current library.')
        self.assertEqual(ftp.sendcmd("CWD RPGUNITC1.FILE"),
                         '250 "/QSYS.LIB/RPGUNIT.LIB/RPGUNITC1.FILE" is current directory.')
        self.assertEqual(ftp.sendcmd("PWD"),
                         '257 "/QSYS.LIB/RPGUNIT.LIB/RPGUNITC1.FILE" is current directory.')
        self.assertEqual(ftp.sendcmd("CDUP"), '250 "/QSYS.LIB/RPGUNIT.LIB" is current library.')
        self.assertEqual(ftp.sendcmd("CDUP"), '250 "/QSYS.LIB" is current directory.')
        self.assertEqual(ftp.sendcmd("CWD /home/ssk"), '250 "/home/ssk" is current directory.')
        self.assertEqual(ftp.sendcmd("PWD"), '257 "/home/ssk" is current directory.')
        self.assertEqual(ftp.sendcmd("CWD /"), '250 "/" is current directory.')
        for missing in ("/QSYS.LIB/QTEMP.LIB", "/nowhere", "/home/ssk/readme.htm",
                        "/QSYS.LIB/RPGUNIT.LIB/RPGUNIT.SAVF"):
            with self.subTest(path=missing), self.assertRaises(ftplib.error_perm) as caught:
                ftp.sendcmd("CWD " + missing)
            self.assertEqual(str(caught.exception), NOT_FOUND)
        self.assertEqual(ftp.sendcmd("PWD"), '257 "/" is current directory.')

    def test_first_path_parameter_starting_with_slash_switches_to_format_1(self):
        self.assertEqual(self.ftp.sendcmd("CWD /home/ssk"),
                         '250-NAMEFMT set to 1.\n250 "/home/ssk" is current directory.')
        self.assertEqual(self.ftp.sendcmd("SITE NAMEFMT"), '250  Now using naming format "1".')

    def test_first_path_in_format_0_keeps_it(self):
        self.ftp.sendcmd("CWD RPGUNIT")
        self.ftp.sendcmd("CWD QGPL")
        self.assertEqual(self.ftp.sendcmd("SITE NAMEFMT"), '250  Now using naming format "0".')

    def test_session_can_start_in_format_1(self):
        server = self.start("--os400-namefmt", "1")
        ftp = self.connect(server)
        self.assertEqual(ftp.sendcmd("PWD"), '257 "/QSYS.LIB/QGPL.LIB" is current library.')


class Listings(Os400Case):
    def list(self, command):
        reply, lines = lines_of(self.ftp, command)
        self.assertEqual(reply, "250 List completed.")
        return lines

    def test_library_file_and_qsys_root_listings(self):
        self.ftp.sendcmd("SITE NAMEFMT 1")
        lines = self.list("LIST /QSYS.LIB/RPGUNIT.LIB")
        self.assertEqual([fields(l)[4:] for l in lines], [
            ("*FILE", "RPGUNIT.SAVF"),
            ("*FILE", "RPGUNITC1.FILE"),
            ("*MEM", "RPGUNITC1.FILE/MKCMD.MBR"),
            ("*MEM", "RPGUNITC1.FILE/RUCALLTST.MBR")])
        self.assertEqual(fields(lines[0])[:2], ("TESTER", "8"))
        self.assertEqual(fields(lines[1])[1], "7")  # the members' bytes
        self.assertEqual(lines[2], "TESTER" + " " * 34 + "*MEM       RPGUNITC1.FILE/MKCMD.MBR")
        self.assertRegex(lines[0], r"^TESTER {14}8 \d\d/\d\d/\d\d \d\d:\d\d:\d\d "
                                   r"\*FILE      RPGUNIT\.SAVF$")

        lines = self.list("LIST /QSYS.LIB/RPGUNIT.LIB/RPGUNITC1.FILE")
        self.assertRegex(lines[0], r"^TESTER {14}7 \S{8} \S{8} \*FILE$")
        self.assertEqual([fields(l)[4:] for l in lines[1:]],
                         [("*MEM", "MKCMD.MBR"), ("*MEM", "RUCALLTST.MBR")])

        lines = self.list("LIST /QSYS.LIB")
        self.assertEqual([fields(l)[4:] for l in lines],
                         [("*LIB", "QGPL.LIB"), ("*LIB", "RPGUNIT.LIB")])
        self.assertEqual(fields(lines[0])[1], "0")

    def test_ifs_listing_and_nlst(self):
        self.ftp.sendcmd("CWD /home/ssk")
        lines = self.list("LIST")
        self.assertEqual([fields(l)[4:] for l in lines],
                         [("*DIR", "java_applets/"), ("*STMF", "readme.htm")])
        self.assertEqual(fields(lines[1])[1], "6")
        self.assertEqual(self.list("NLST"), ["java_applets", "readme.htm"])
        self.assertEqual(self.list("NLST /QSYS.LIB/RPGUNIT.LIB"),
                         ["RPGUNIT.SAVF", "RPGUNITC1.FILE"])

    def test_format_0_listing_of_the_current_library(self):
        self.ftp.sendcmd("CWD RPGUNIT")
        self.assertEqual([fields(l)[4:] for l in self.list("LIST")], [
            ("*FILE", "RPGUNIT.SAVF"), ("*FILE", "RPGUNITC1"),
            ("*MEM", "RPGUNITC1.MKCMD"), ("*MEM", "RPGUNITC1.RUCALLTST")])
        self.assertEqual(self.list("NLST"), ["RPGUNIT/RPGUNIT.SAVF", "RPGUNIT/RPGUNITC1"])

    def test_list_frame_and_refused_options_on_the_wire(self):
        ftp = self.ftp
        ftp.sendcmd("SITE NAMEFMT 1")
        ftp.sendcmd("CWD /home/ssk")
        with ftp.transfercmd("LIST") as conn:
            self.assertIn(b"readme.htm", conn.makefile("rb").read())
        self.assertEqual(ftp.lastresp, "125")
        self.assertEqual(ftp.voidresp(), "250 List completed.")
        with self.assertRaises(ftplib.error_perm) as caught:
            lines_of(ftp, "LIST -a")
        self.assertEqual(str(caught.exception), "550  Path does not exist: -a")
        self.assertEqual(ftp.sendcmd("NOOP")[:3], "200")  # nothing left over on the link

    def test_date_formats(self):
        for option, pattern in (("mdy", r"\d\d/\d\d/\d\d"), ("dmy", r"\d\d\.\d\d\.\d\d"),
                                ("ymd", r"\d\d/\d\d/\d\d")):
            with self.subTest(format=option):
                server = self.start("--os400-date-format", option)
                server.write("a.txt", b"1")
                os.utime(server.path("a.txt"), (0, 951782400))  # 29 Feb 2000, 00:00 UTC
                ftp = self.connect(server)
                _, lines = lines_of(ftp, "LIST /")
                line = next(l for l in lines if l.endswith("a.txt"))
                self.assertRegex(fields(line)[2], pattern)
                self.assertEqual(fields(line)[2], {"mdy": "02/29/00", "dmy": "29.02.00",
                                                   "ymd": "00/02/29"}[option])
                self.assertEqual(fields(line)[3], "00:00:00")


class QsysObjects(Os400Case):
    def test_transfers_of_members_and_files(self):
        ftp = self.ftp
        ftp.sendcmd("SITE NAMEFMT 1")
        ftp.sendcmd("CWD /QSYS.LIB/RPGUNIT.LIB")
        ftp.voidcmd("TYPE I")
        with ftp.transfercmd("RETR RPGUNITC1.FILE/MKCMD.MBR") as conn:
            self.assertEqual(conn.makefile("rb").read(), b"A\nB\n")
        self.assertEqual(ftp.voidresp(), "250 File transfer completed successfully.")
        # a file without a member of its own name gives its first member
        self.assertEqual(retr(ftp, "RPGUNITC1.FILE")[1], b"A\nB\n")
        reply = ftp.storbinary("STOR NEWFILE.FILE", io.BytesIO(b"\x00\xff"))
        self.assertEqual(reply, "226 File transfer completed successfully.")
        self.assertEqual(self.server.read("QSYS.LIB/RPGUNIT.LIB/NEWFILE.FILE/NEWFILE.MBR"),
                         b"\x00\xff")
        ftp.storbinary("STOR /QSYS.LIB/RPGUNIT.LIB/RPGUNITC1.FILE/NEWMBR.MBR", io.BytesIO(b"m"))
        self.assertEqual(ftp.sendcmd("SIZE RPGUNITC1.FILE/NEWMBR.MBR"), "213 1")
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.storbinary("STOR /QSYS.LIB/NOLIB.LIB/F.FILE", io.BytesIO(b"m"))
        self.assertEqual(str(caught.exception), "550 Library NOLIB not found.")
        with self.assertRaises(ftplib.error_perm):
            retr(ftp, "MISSING.FILE")

    def test_transfer_replies_name_the_member(self):
        raw = self.server.raw()
        self.addCleanup(raw.close)
        raw.login()
        data, reply = raw.open_data()
        self.assertEqual(reply, "200 PORT subcommand request successful.\r\n")
        raw.send("RETR RPGUNIT/RPGUNITC1.MKCMD")
        self.assertEqual(raw.read_reply(), "125 Retrieving member MKCMD in file RPGUNITC1 in "
                                           "library RPGUNIT.\r\n")
        self.assertEqual(data.makefile("rb").read(), b"A\r\nB\r\n")  # TYPE A by default
        data.close()
        self.assertEqual(raw.read_reply(), "250 File transfer completed successfully.\r\n")
        raw.send("TYPE I")
        raw.read_reply()
        data, _ = raw.open_data()
        raw.send("STOR QGPL/POP3")
        self.assertEqual(raw.read_reply(), "125 Sending file to member POP3 in file POP3 in "
                                           "library QGPL.\r\n")
        data.sendall(b"pop")
        data.close()
        self.assertEqual(raw.read_reply(), "226 File transfer completed successfully.\r\n")
        self.assertEqual(self.server.read("QSYS.LIB/QGPL.LIB/POP3.FILE/POP3.MBR"), b"pop")

    def test_stor_completion_code_of_older_releases(self):
        server = self.start("--os400-stor-code", "250")
        ftp = self.connect(server)
        self.assertEqual(ftp.storbinary("STOR QGPL/A", io.BytesIO(b"1")),
                         "250 File transfer completed successfully.")

    def test_name_rules(self):
        ftp = self.ftp
        ftp.sendcmd("CWD /QSYS.LIB/RPGUNIT.LIB")
        refusals = {
            "orderlist2001.txt": "501 Unknown extension in database file name.",
            "ORDERLIST2001.FILE": "501 Object name ORDERLIST2001 is longer than 10 characters.",
            "A\u00a7B.FILE": "501 Character (\u00a7) not allowed in object name.",
            "1ABC.FILE": "501 Character (1) not allowed in object name.",
            "RPGUNITC1.FILE/X.TXT": "501 Unknown extension in database file name.",
            "NOSUFFIX": "501 Unknown extension in database file name.",
        }
        for name, reply in refusals.items():
            with self.subTest(name=name), self.assertRaises(ftplib.error_perm) as caught:
                ftp.storbinary("STOR " + name, io.BytesIO(b"x"))
            self.assertEqual(str(caught.exception), reply)
        # the name the client retries with fits
        ftp.storbinary("STOR ORDERLIST2.FILE", io.BytesIO(b"x"))
        self.assertTrue(os.path.isfile(self.server.path(
            "QSYS.LIB", "RPGUNIT.LIB", "ORDERLIST2.FILE", "ORDERLIST2.MBR")))
        # IFS names keep their case and have no such rules
        ftp.storbinary("STOR /home/ssk/orderlist2001.txt", io.BytesIO(b"x"))
        self.assertEqual(self.server.read("home/ssk/orderlist2001.txt"), b"x")

    def test_paths_cannot_leave_the_root(self):
        ftp = self.ftp
        ftp.sendcmd("CWD /")
        self.assertEqual(ftp.sendcmd("CWD ../../.."), '250 "/" is current directory.')
        with self.assertRaises(ftplib.error_perm):
            retr(ftp, "/../../etc/passwd")

    def test_dele_mkd_rmd_rename(self):
        ftp = self.ftp
        s = self.server
        ftp.sendcmd("SITE NAMEFMT 1")
        self.assertTrue(ftp.sendcmd("MKD /QSYS.LIB/NEWLIB.LIB").startswith('257 "/QSYS.LIB/'))
        self.assertTrue(os.path.isdir(s.path("QSYS.LIB", "NEWLIB.LIB")))
        ftp.sendcmd("MKD /QSYS.LIB/NEWLIB.LIB/SRC.FILE")
        ftp.storbinary("STOR /QSYS.LIB/NEWLIB.LIB/SRC.FILE/M1.MBR", io.BytesIO(b"1"))
        ftp.rename("/QSYS.LIB/NEWLIB.LIB/SRC.FILE/M1.MBR", "/QSYS.LIB/NEWLIB.LIB/SRC.FILE/M2.MBR")
        self.assertEqual(s.read("QSYS.LIB/NEWLIB.LIB/SRC.FILE/M2.MBR"), b"1")
        with self.assertRaises(ftplib.error_perm):
            ftp.rename("/QSYS.LIB/NEWLIB.LIB/SRC.FILE/M2.MBR", "/QSYS.LIB/NEWLIB.LIB/X.SAVF")
        self.assertTrue(ftp.delete("/QSYS.LIB/NEWLIB.LIB/SRC.FILE/M2.MBR").startswith("250"))
        self.assertFalse(os.path.exists(s.path("QSYS.LIB", "NEWLIB.LIB", "SRC.FILE", "M2.MBR")))
        with self.assertRaises(ftplib.error_perm):
            ftp.delete("/QSYS.LIB/NEWLIB.LIB/SRC.FILE/M2.MBR")
        self.assertTrue(ftp.rmd("/QSYS.LIB/NEWLIB.LIB").startswith("250"))
        self.assertFalse(os.path.exists(s.path("QSYS.LIB", "NEWLIB.LIB")))
        ftp.mkd("/home/new dir")
        with self.assertRaises(ftplib.error_perm):
            ftp.mkd("/home/new dir")
        ftp.rmd("/home/new dir")
        with self.assertRaises(ftplib.error_perm):
            ftp.rmd("/home/ssk")  # not empty
        self.assertTrue(os.path.isdir(s.path("home", "ssk")))


class Rcmd(Os400Case):
    def test_crtlib_and_dltlib_act_on_the_tree(self):
        ftp = self.ftp
        self.assertEqual(ftp.sendcmd("RCMD CRTLIB LIB(tarnlib)"),
                         "250 Command CRTLIB LIB(tarnlib) successful.")
        self.assertTrue(os.path.isdir(self.server.path("QSYS.LIB", "TARNLIB.LIB")))
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.sendcmd("RCMD CRTLIB LIB(TARNLIB)")
        self.assertEqual(str(caught.exception), "550-Error occurred on command "
                         "CRTLIB LIB(TARNLIB).\n550 Library TARNLIB already exists.")
        ftp.sendcmd("RCMD DLTLIB LIB(TARNLIB)")
        self.assertFalse(os.path.exists(self.server.path("QSYS.LIB", "TARNLIB.LIB")))
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.sendcmd("RCMD DLTLIB LIB(TARNLIB)")
        self.assertTrue(str(caught.exception).endswith("550 Library TARNLIB not found."))
        self.assertEqual(ftp.sendcmd("RCMD SNDMSG MSG(HI) TOUSR(QSYSOPR)"),
                         "250 Command SNDMSG MSG(HI) TOUSR(QSYSOPR) successful.")

    def test_rcmd_fail_switch(self):
        server = self.start("--rcmd-fail")
        ftp = self.connect(server)
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.sendcmd("RCMD CRTLIB LIB(X)")
        self.assertEqual(str(caught.exception), "550-Error occurred on command CRTLIB LIB(X)."
                                                "\n550 Command CRTLIB rejected.")
        self.assertFalse(os.path.exists(server.path("QSYS.LIB", "X.LIB")))


if __name__ == "__main__":
    unittest.main()
