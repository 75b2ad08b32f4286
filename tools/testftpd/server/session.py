"""The control connection handler every personality builds on.

`Session` adds four things to pyftpdlib's handler: it remembers the verb being served, so that
a personality can word its replies per command (`reply_texts`, `override_reply`); it routes
every reply and every control write through the fault switches; it lets a personality take
over whole commands (`serve_command`) before pyftpdlib's own path handling sees them; and it
adds the entries of a hostile listing, in the personality's own line format
(`listing_line`), to every listing.
"""

import logging
import os
import time

from pyftpdlib.handlers import FTPHandler

from .data import DataConnection, PortRequest
from .faults import Faults

logger = logging.getLogger("pyftpdlib")

_TRANSFERS = ("RETR", "STOR", "APPE", "STOU", "LIST", "NLST", "MLSD")


class _Appended:
    """A producer that sends `tail` after everything `producer` gives."""

    def __init__(self, producer, tail):
        self._producer, self._tail = producer, tail

    def more(self):
        data = self._producer.more()
        if not data:
            data, self._tail = self._tail, b""
        return data


def capitalised_passive(resp):
    """A PASV or EPSV reply worded as most servers word it: "227 Entering Passive Mode
    (127,0,0,1,p1,p2)." and "229 Entering Extended Passive Mode (|||port|)"."""
    resp = resp.replace("passive mode", "Passive Mode").replace("extended", "Extended")
    return resp.rstrip(".") if resp.startswith("229") else resp


def _listed_content(name):
    return ("Served for the listed name %r.\n" % name).encode("utf8")


class Session(FTPHandler):
    faults = Faults()
    dtp_handler = DataConnection
    auth_failed_timeout = 0.2
    reply_texts = {}  # (verb, code) -> text of the personality

    options = None  # the parsed command line
    ssl_context = None  # set when the server speaks TLS

    @classmethod
    def prepare_root(cls, root):
        """Gives the served folder what the personality needs in it."""

    @classmethod
    def login_message(cls, user):
        """The text of the 230 reply to a good password."""
        return "Login successful."

    def __init__(self, conn, server, ioloop=None):
        self.current_verb = "GREETING"
        self.transfer_verb = None  # the command whose data the data connection carries
        self._overrides = {}
        self._late_pending = self.faults.applies(self.faults.late, "GREETING")
        self._password = ""
        super().__init__(conn, server, ioloop)

    # --- greeting and commands

    def handle(self):
        if self.faults.greets():
            self.greet()
        else:
            self.on_connect()

    def greet(self):
        super().handle()

    def pre_process_command(self, line, cmd, arg):
        self.current_verb = cmd
        self._overrides = {}
        self._late_pending = self.faults.applies(self.faults.late, cmd)
        if cmd == "PASS":
            self._password = arg
        if self.faults.intercept(self, cmd):
            return
        if self.authenticated and self._serve_listed_name(cmd, arg):
            return
        if not (self.authenticated and self.serve_command(cmd, arg)):
            super().pre_process_command(line, cmd, arg)
        port = self._dtp_connector
        if (cmd in _TRANSFERS and isinstance(port, PortRequest) and port.deferred
                and (self._out_dtp_queue or self._in_dtp_queue)):
            port.transfer(cmd)

    def serve_command(self, verb, arg):
        """Lets a personality answer a command of a logged-in session itself."""
        return False

    # --- replies

    def override_reply(self, code, line):
        """Replaces the next reply with `code` to the command being served by `line` (which
        may carry another code: 226 becomes "250 List completed." on IBM i)."""
        self._overrides[code] = line

    def respond(self, resp, logfun=logger.debug, lead=()):
        """Sends the reply `resp`, after the lines `lead` of a multi-line reply (which carry
        their own "nnn-")."""
        verb, code = self.current_verb, resp[:3]
        text = self.reply_texts.get((verb, code))
        if code in self._overrides:
            resp = self._overrides[code]
        elif text is not None:
            resp = "%s %s" % (code, text)
        elif code in ("227", "229"):
            resp = self.passive_reply(resp)
        self._last_response = resp  # pyftpdlib logs its code: before the text switches
        final = not code.startswith("1")
        if final:
            resp = self.faults.final_text(verb, resp, self._password)
        end = self.faults.line_end(verb)
        lines = list(lead) + self.faults.reply_lines(verb, resp)
        text = "".join(line + end for line in lines)
        extra = None
        if final and self.faults.applies(self.faults.extra, verb):
            extra = resp if self.faults.extra_text is None else self.faults.extra_text
            extra += end
            if not self.faults.extra_pause:
                # Without a pause the extra line goes out in the same write as the reply, so
                # that the client finds both in one read, whatever the scheduler does between
                # two writes.
                text, extra = text + extra, None
        self._send_text(text, final)
        if extra is not None:
            self.faults.write(self, extra.encode("utf8"), self.faults.extra_pause)
        if self._log_debug:
            self.logline("-> %s" % resp, logfun=logfun)

    def respond_lines(self, lines):
        """Sends a multi-line reply; the caller writes the "nnn-" of the leading lines."""
        self.respond(lines[-1], lead=lines[:-1])

    def push(self, s):
        if self.faults.applies(self.faults.bare_lf, self.current_verb):
            s = s.replace("\r\n", "\n")
        self._send_text(s, not s.startswith("1"))

    def _send_text(self, text, final):
        delay = 0.0
        if final and self._late_pending:
            self._late_pending = False
            delay = self.faults.late_delay
        self.faults.write(self, text.encode("utf8"), delay)

    def close_when_done(self):
        self.faults.close_when_done(self)

    # --- data connections

    def _make_eport(self, ip, port):
        if not (self.faults.defers_port() or self.faults.port_connect_delay
                or self.faults.port_unreachable):
            return super()._make_eport(ip, port)
        saved = self.active_dtp
        self.active_dtp = PortRequest  # made where pyftpdlib would make its connector
        try:
            super()._make_eport(ip, port)
        finally:
            self.active_dtp = saved

    def drop_queued_transfer(self):
        """Forgets the transfer waiting for its data connection, closing its file."""
        for queued, index in ((self._out_dtp_queue, 2), (self._in_dtp_queue, 0)):
            if queued is not None and queued[index] is not None:
                queued[index].close()
        self._out_dtp_queue = self._in_dtp_queue = None

    def push_dtp_data(self, data, isproducer=False, file=None, cmd=None):
        self.transfer_verb = cmd
        if cmd == "LIST" and self.faults.listing_file:
            with open(self.faults.listing_file, "rb") as canned:
                data, isproducer = canned.read(), False
        names = self.faults.listing_names
        if names and cmd in ("LIST", "NLST"):
            lines = [self.listing_line(n, len(_listed_content(n))) if cmd == "LIST" else n
                     for n in names]
            tail = "".join(line + "\r\n" for line in lines).encode("utf8")
            data = _Appended(data, tail) if isproducer else data + tail
        if cmd == "RETR" and file is not None and self.faults.announce_size:
            size = os.fstat(file.fileno()).st_size - file.tell()
            mode = "BINARY" if self._current_type == "i" else "ASCII"
            text = "Opening %s mode data connection for %s (%d bytes)." % (
                mode, os.path.basename(file.name), size)
            self.override_reply("150", "150 " + text)
            self.override_reply("125", "125 " + text)
        super().push_dtp_data(data, isproducer, file, cmd)

    def ftp_STOR(self, file, mode="w"):
        self.transfer_verb = "APPE" if "a" in mode else "STOR"
        return super().ftp_STOR(file, mode)

    def passive_reply(self, resp):
        """The wording of a 227 or 229 reply (pyftpdlib's by default)."""
        return resp

    # --- hostile listings

    def listing_line(self, name, size):
        """One listing line (without CR LF) for a plain file `name` of `size` bytes."""
        stamp = time.strftime("%b %d %H:%M", time.gmtime())
        return "-rw-r--r--   1 tester   tester   %8d %s %s" % (size, stamp, name)

    def _serve_listed_name(self, verb, arg):
        """Serves RETR and SIZE of a name that a hostile listing showed (also with a folder
        in front of it), so that a client that takes the name as it stands gets a file."""
        if verb not in ("RETR", "SIZE") or not self.faults.listing_names:
            return False
        name = next((n for n in self.faults.listing_names
                     if arg == n or arg.endswith("/" + n)), None)
        if name is None:
            return False
        content = _listed_content(name)
        if verb == "SIZE":
            self.respond("213 %d" % len(content))
        else:
            self.push_dtp_data(content, cmd="RETR")
        return True
