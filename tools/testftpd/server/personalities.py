"""The Unix and Windows NT personalities, and the table that names all three."""

import os
import time

from pyftpdlib.filesystems import AbstractedFS

from .session import Session, capitalised_passive


class UnixSession(Session):
    """pyftpdlib as it is: "215 UNIX Type: L8" and "ls -l" style listings."""


def dos_line(mtime, name, size):
    """One listing line as IIS writes it in its default MS-DOS style: "MM-DD-YY  HH:MMAM",
    then either "<DIR>" (size None) in columns 24-28 or the size right-aligned to column 37,
    and the name from column 39."""
    stamp = time.strftime("%m-%d-%y  %I:%M%p", time.gmtime(mtime))
    if size is None:
        return "%s       <DIR>          %s" % (stamp, name)
    return "%s %20d %s" % (stamp, size, name)


class DosListingFS(AbstractedFS):
    """Lists directories in IIS's MS-DOS style."""

    def format_list(self, basedir, listing, ignore_err=True):
        for name in listing:
            try:
                st = self.lstat(os.path.join(basedir, name))
            except OSError:
                if ignore_err:
                    continue
                raise
            is_dir = os.path.isdir(os.path.join(basedir, name))
            line = dos_line(st.st_mtime, name, None if is_dir else st.st_size)
            yield (line + "\r\n").encode("utf8", self.cmd_channel.unicode_errors)


_IIS_TRANSFER = {"125": "Data connection already open; Transfer starting.",
                 "150": "Opening data connection.",
                 "226": "Transfer complete."}


class WindowsSession(Session):
    """Answers as Microsoft's IIS FTP service does."""

    banner = "Microsoft FTP Service"
    abstracted_fs = DosListingFS
    reply_texts = {
        ("USER", "331"): "Password required",
        ("SYST", "215"): "Windows_NT",
        ("CWD", "250"): "CWD command successful.",
        ("CDUP", "250"): "CDUP command successful.",
        ("PORT", "200"): "PORT command successful.",
        ("DELE", "250"): "DELE command successful.",
        ("RMD", "250"): "RMD command successful.",
        ("RNFR", "350"): "Requested file action pending further information.",
        ("RNTO", "250"): "RNTO command successful.",
        ("NOOP", "200"): "NOOP command successful.",
        ("AUTH", "234"): "AUTH command ok. Expecting TLS Negotiation.",
        ("PBSZ", "200"): "PBSZ command successful.",
        ("PROT", "200"): "PROT command successful.",
        **{(verb, code): text
           for verb in ("LIST", "NLST", "RETR", "STOR", "APPE")
           for code, text in _IIS_TRANSFER.items()},
    }

    @classmethod
    def login_message(cls, user):
        return "User logged in."

    def listing_line(self, name, size):
        return dos_line(time.time(), name, size)

    def passive_reply(self, resp):
        return capitalised_passive(resp)

    def ftp_PWD(self, line):
        self.respond('257 "%s" is current directory.' % self.fs.cwd.replace('"', '""'))

    def ftp_TYPE(self, line):
        self.override_reply("200", "200 Type set to %s." % line.strip().upper())
        super().ftp_TYPE(line)

    def ftp_FEAT(self, line):
        tls = [" AUTH TLS;TLS-C;SSL;TLS-P;", " PBSZ", " PROT C;P;"] if self.ssl_context else []
        self.respond_lines(["211-Extended features supported:", *tls, " SIZE", " MDTM",
                            " REST STREAM", "211 END"])


def session_class(personality):
    if personality == "windows":
        return WindowsSession
    if personality == "os400":
        from .os400 import Os400Session
        return Os400Session
    return UnixSession


PERSONALITIES = ("unix", "windows", "os400")
