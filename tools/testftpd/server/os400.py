"""The IBM i (OS/400) personality: the replies, naming formats and commands of QTCP's server.

Every command that takes a path is served here on the QSYS tree (qsys.py) rather than by
pyftpdlib's Unix path handling; transfers still run through pyftpdlib's data connections.
"""

import os
import re
import shutil
import socket
import time

from pyftpdlib.handlers import FTPHandler

from . import qsys
from .session import Session, capitalised_passive

_DIRECTORY_MISSING = ["550-Specified directory does not exist or cannot be accessed.",
                      "550 Working directory not changed."]
_FILE_MISSING = "550 Specified file does not exist or cannot be accessed."
# Commands left to pyftpdlib: they take no path.
_PLAIN = {"USER", "PASS", "QUIT", "PORT", "EPRT", "PASV", "EPSV", "TYPE", "REST", "NOOP",
          "ABOR", "MODE", "STRU", "ALLO", "REIN", "STAT", "HELP", "AUTH", "PBSZ", "PROT"}
_LIBRARY_COMMAND = re.compile(r"(CRTLIB|DLTLIB)\s+LIB\(\s*([^)\s]+)\s*\)", re.IGNORECASE)


class Os400Session(Session):
    reply_texts = {
        ("USER", "331"): "Enter password.",
        ("QUIT", "221"): "QUIT subcommand received.",
        ("PORT", "200"): "PORT subcommand request successful.",
        ("EPRT", "200"): "EPRT subcommand request successful.",
        ("NOOP", "200"): "NOOP subcommand request successful.",
        ("AUTH", "234"): "Security environment established - ready for negotiation.",
        ("PBSZ", "200"): "PBSZ subcommand request successful.",
        ("PROT", "200"): "PROT subcommand request successful.",
    }

    @classmethod
    def prepare_root(cls, root):
        qsys.QsysTree(root).prepare("QGPL")

    @classmethod
    def login_message(cls, user):
        return "%s logged on." % user.upper()

    def greet(self):
        self.respond_lines(["220-QTCP at %s." % socket.gethostname(),
                            "220 Connection will close if idle more than 5 minutes."])

    def on_login(self, username):
        self.tree = qsys.QsysTree(self.fs.root)
        self.namefmt = int(self.options.os400_namefmt)
        self.path_seen = False  # the first path parameter may switch to naming format 1
        self.library = "QGPL"  # the current library
        self.cwd = "/QSYS.LIB/QGPL.LIB" if self.namefmt == 1 else "/"
        self.rename_from = None

    def passive_reply(self, resp):
        return capitalised_passive(resp)

    def listing_line(self, name, size):
        return qsys.format_line(self.username.upper(), "*STMF", name, size, time.time(),
                                self.options.os400_date_format)

    # --- dispatch

    def serve_command(self, verb, arg):
        handler = getattr(self, "os400_" + verb, None)
        if handler is not None:
            try:
                handler(arg)
            except qsys.ObjectError as e:
                self.respond_lines(e.lines)
            except OSError as e:
                self.respond("550 %s." % (e.strerror or "Request failed"))
            return True
        if verb in _PLAIN:
            return False
        self.respond("500 %s is not a valid subcommand." % verb[:4])
        return True

    def _target(self, arg, counts=True):
        """Resolves a path parameter in the session's naming format.

        The first path parameter of a session switches it to naming format 1 when it starts
        with "/" or "~" or is blank; later ones never do. Returns (target, switched)."""
        arg = arg.strip()
        switched = False
        if counts and not self.path_seen:
            self.path_seen = True
            if self.namefmt == 0 and (not arg or arg[0] in "/~"):
                self.namefmt, switched = 1, True
        if self.namefmt == 1:
            return self.tree.resolve1(self.cwd, arg or "/"), switched
        return self.tree.resolve0(self.library, arg), switched

    # --- directories

    def os400_PWD(self, arg):
        if self.namefmt == 0:
            self.respond('257 "%s" is current library.' % self.library)
        elif self.tree.resolve1(self.cwd, ".").kind == "lib":
            self.respond('257 "%s" is current library.' % self.cwd)
        else:
            self.respond('257 "%s" is current directory.' % self.cwd)

    os400_XPWD = os400_PWD

    def os400_CWD(self, arg):
        if self.namefmt == 0 and arg.strip() and arg.strip()[0] not in "/~":
            self.path_seen = True
            try:
                target = self.tree.library(arg.strip())
            except qsys.ObjectError:
                return self.respond_lines(_DIRECTORY_MISSING)
            if not target.exists:
                return self.respond_lines(_DIRECTORY_MISSING)
            self.library, self.cwd = target.lib, target.vpath
            return self.respond('250 "%s" is current library.' % target.lib)
        try:
            target, switched = self._target(arg)
        except qsys.ObjectError:
            return self.respond_lines(_DIRECTORY_MISSING)
        self._change_to(target, ["250-NAMEFMT set to 1."] if switched else [])

    os400_XCWD = os400_CWD

    def os400_CDUP(self, arg):
        if self.namefmt == 0:
            return self.respond_lines(_DIRECTORY_MISSING)
        self._change_to(self.tree.resolve1(self.cwd, ".."), [])

    os400_XCUP = os400_CDUP

    def _change_to(self, target, lead):
        if not target.is_directory or not target.exists:
            return self.respond_lines(lead + _DIRECTORY_MISSING)
        self.cwd = target.vpath
        if target.kind == "lib":
            self.library = target.lib
            return self.respond_lines(lead + ['250 "%s" is current library.' % target.vpath])
        self.respond_lines(lead + ['250 "%s" is current directory.' % target.vpath])

    # --- listings

    def _listing_target(self, arg):
        if arg.strip().startswith("-"):
            self.respond("550  Path does not exist: %s" % arg.strip())
            return None
        if not arg.strip():
            if self.namefmt == 1:
                return self.tree.resolve1(self.cwd, ".")
            return self.tree.library(self.library)
        target, _ = self._target(arg)
        if target.kind == "file" and self.namefmt == 0 and not target.exists:
            target = self.tree.library(arg.strip())  # "LIST MYLIB" names a library
        if not target.exists:
            self.respond("550  Path does not exist: %s" % arg.strip())
            return None
        return target

    def _send_listing(self, lines, verb):
        self.override_reply("125", "125 List started.")
        self.override_reply("150", "150 List started.")
        self.override_reply("226", "250 List completed.")
        data = "".join(line + "\r\n" for line in lines).encode("utf8", "replace")
        self.push_dtp_data(data, cmd=verb)

    def os400_LIST(self, arg):
        target = self._listing_target(arg)
        if target is not None:
            owner = self.username.upper()
            fmt = self.options.os400_date_format
            lines = [qsys.format_line(owner, t, name, size, mtime, fmt)
                     for t, name, size, mtime in self.tree.entries(target, self.namefmt)]
            self._send_listing(lines, "LIST")

    def os400_NLST(self, arg):
        target = self._listing_target(arg)
        if target is not None:
            self._send_listing(self.tree.names(target, self.namefmt), "NLST")

    # --- transfers

    def _data_target(self, arg, writing):
        target, _ = self._target(arg)
        if target.kind == "file":
            target = self.tree.data_member(target)
        if target.kind not in ("mbr", "savf", "stmf"):
            raise qsys.ObjectError(_FILE_MISSING)
        if target.kind in ("mbr", "savf"):
            library = self.tree.library(target.lib)
            if not library.exists:
                raise qsys.ObjectError("550 Library %s not found." % target.lib)
        if writing and target.kind == "mbr":
            os.makedirs(os.path.dirname(target.host), exist_ok=True)  # a new physical file
        elif writing and not os.path.isdir(os.path.dirname(target.host)):
            raise qsys.ObjectError(_FILE_MISSING)
        elif not writing and not target.exists:
            raise qsys.ObjectError(_FILE_MISSING)
        return target

    def os400_RETR(self, arg):
        target = self._data_target(arg, writing=False)
        what = target.description()
        if target.kind != "mbr":
            what = "file " + target.vpath
        self.override_reply("125", "125 Retrieving %s." % what)
        self.override_reply("150", "150 Retrieving %s." % what)
        self.override_reply("226", "250 File transfer completed successfully.")
        FTPHandler.ftp_RETR(self, target.host)

    def _store(self, arg, mode):
        target = self._data_target(arg, writing=True)
        what = target.description()
        if target.kind != "mbr":
            what = target.vpath
        code = self.options.os400_stor_code
        self.override_reply("125", "125 Sending file to %s." % what)
        self.override_reply("150", "150 Sending file to %s." % what)
        self.override_reply("226", "%s File transfer completed successfully." % code)
        FTPHandler.ftp_STOR(self, target.host, mode)

    def os400_STOR(self, arg):
        self._store(arg, "w")

    def os400_APPE(self, arg):
        self._store(arg, "a")

    def os400_SIZE(self, arg):
        target = self._data_target(arg, writing=False)
        self.respond("213 %d" % os.path.getsize(target.host))

    # --- objects

    def os400_DELE(self, arg):
        target, _ = self._target(arg)
        if target.is_directory and target.kind != "file" or not target.exists:
            return self.respond(_FILE_MISSING)
        if target.kind == "file":
            shutil.rmtree(target.host)
        else:
            os.remove(target.host)
        self.respond("250 Deleted %s." % target.description())

    def os400_MKD(self, arg):
        target, _ = self._target(arg)
        if self.namefmt == 0:
            target = self.tree.library(arg.strip())
        if target.kind not in ("lib", "file", "dir", "stmf"):  # stmf: a new IFS name
            raise qsys.ObjectError("550 Object type not valid for MKD.")
        if target.exists or os.path.exists(target.host):
            return self.respond("550 %s already exists." % target.vpath)
        os.mkdir(target.host)
        self.respond('257 "%s" created.' % target.vpath)

    os400_XMKD = os400_MKD

    def os400_RMD(self, arg):
        target, _ = self._target(arg)
        if self.namefmt == 0:
            target = self.tree.library(arg.strip())
        if target.kind not in ("lib", "file", "dir") or not target.exists:
            return self.respond_lines(_DIRECTORY_MISSING[:1] +
                                      ["550 Directory %s not removed." % target.vpath])
        if target.kind == "dir":
            os.rmdir(target.host)  # an IFS directory must be empty
        else:
            shutil.rmtree(target.host)  # as DLTLIB and DLTF, with everything in it
        self.respond("250 %s removed." % target.vpath)

    os400_XRMD = os400_RMD

    def os400_RNFR(self, arg):
        target, _ = self._target(arg)
        if not target.exists or target.kind in ("qsys", "dir") and target.vpath == "/":
            return self.respond(_FILE_MISSING)
        self.rename_from = target
        self.respond("350 Ready for RNTO subcommand.")

    def os400_RNTO(self, arg):
        source, self.rename_from = self.rename_from, None
        if source is None:
            return self.respond("503 RNFR subcommand must come first.")
        target, _ = self._target(arg)
        if target.kind != source.kind:
            raise qsys.ObjectError("550 New name must be of the same object type.")
        if os.path.exists(target.host):
            return self.respond("550 %s already exists." % target.vpath)
        os.rename(source.host, target.host)
        self.respond("250 %s renamed to %s." % (source.vpath, target.vpath))

    # --- server-specific subcommands

    def os400_SYST(self, arg):
        self.respond('215  OS/400 is the remote operating system. The TCP/IP version is "%s".'
                     % self.options.os400_release)

    def os400_FEAT(self, arg):
        self.respond_lines(["211-Feature listing follows:", " AUTH TLS", " AUTH GSS", " CCC",
                            " PBSZ", " PROT", " ADAT", " ENC", " MIC", " CONF",
                            "211 End of feature listing."])

    def os400_OPTS(self, arg):
        self.respond("501 OPTS unsuccessful; specified subcommand not recognized.")

    def os400_TYPE(self, arg):
        kind = arg.strip().upper()
        if kind == "A":
            self.override_reply("200", "200 Representation type is ASCII nonprint.")
        elif kind == "I":
            self.override_reply("200", "200 Representation type is binary IMAGE.")
        FTPHandler.ftp_TYPE(self, arg)

    def os400_SITE(self, arg):
        words = arg.upper().split()
        keyword, value = (words + ["", ""])[:2]
        if keyword == "NAMEFMT" and value in ("", "0", "1"):
            if value:
                self.namefmt, self.path_seen = int(value), True
                if self.namefmt == 1:
                    self.cwd = "/QSYS.LIB/%s.LIB" % self.library
            self.respond('250  Now using naming format "%d".' % self.namefmt)
        elif keyword == "LISTFMT" and value in ("", "0"):
            self.respond('250  Now using list format "0".')
        elif keyword in ("CRTCCSID", "NULLFLDS", "TRIM") or keyword == "LISTFMT":
            self.respond("250 SITE subcommand was accepted.")
        else:
            self.respond("500 %s is not a valid SITE subcommand." % keyword[:8])

    def os400_TIME(self, arg):
        self.respond("250 Time-out values were set.")

    def os400_RCMD(self, arg):
        command = arg.strip()
        if not command:
            return self.respond("501 CL command missing.")
        if self.faults.rcmd_fail:
            return self._rcmd_failed(command, "Command %s rejected." % command.split()[0])
        match = _LIBRARY_COMMAND.fullmatch(command)
        if match:
            verb, name = match.group(1).upper(), match.group(2).upper()
            try:
                library = self.tree.library(name)
            except qsys.ObjectError:
                return self._rcmd_failed(command, "Value '%s' for LIB not valid." % name)
            if verb == "CRTLIB":
                if library.exists:
                    return self._rcmd_failed(command, "Library %s already exists." % name)
                os.mkdir(library.host)
            else:
                if not library.exists:
                    return self._rcmd_failed(command, "Library %s not found." % name)
                shutil.rmtree(library.host)
        self.respond("250 Command %s successful." % command)

    def _rcmd_failed(self, command, message):
        self.respond_lines(["550-Error occurred on command %s." % command, "550 " + message])
