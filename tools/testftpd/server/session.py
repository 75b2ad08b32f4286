"""The control and data connection handlers every personality builds on.

`Session` adds three things to pyftpdlib's handler: it remembers the verb being served, so that
a personality can word its replies per command (`reply_texts`, `override_reply`); it routes
every reply and every control write through the fault switches; and it lets a personality take
over whole commands (`serve_command`) before pyftpdlib's own path handling sees them.
"""

import logging

from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler, DTPHandler

from .faults import Faults

logger = logging.getLogger("pyftpdlib")


class DataConnection(ThrottledDTPHandler):
    """A data connection that can be throttled and cut after a number of bytes."""

    def __init__(self, sock, cmd_channel):
        self._cut_after = cmd_channel.faults.claim_data_cut()
        self._cut_pending = False
        super().__init__(sock, cmd_channel)

    def use_sendfile(self):
        if self.cmd_channel.faults.shapes_data():
            return False
        return DTPHandler.use_sendfile(self)

    def _cut(self):
        if not self._closed:
            self._resp = ("426 Connection closed; transfer aborted.", logger.info)
            self.close()

    def _schedule_cut(self):
        if not self._cut_pending:
            self._cut_pending = True
            self.ioloop.call_later(0, self._cut, _errback=self.handle_error)

    def send(self, data):
        if self._cut_after is not None:
            allowed = self._cut_after - self.tot_bytes_sent
            if allowed <= 0:
                self._schedule_cut()
                return 0
            data = data[:allowed]
        return super().send(data)

    def recv(self, buffer_size):
        if self._cut_after is not None:
            allowed = self._cut_after - self.tot_bytes_received
            if allowed <= 0:
                self._cut()
                return b""
            buffer_size = min(buffer_size, allowed)
        return super().recv(buffer_size)


class Session(FTPHandler):
    faults = Faults()
    dtp_handler = DataConnection
    auth_failed_timeout = 0.2
    reply_texts = {}  # (verb, code) -> text of the personality

    options = None  # the parsed command line

    @classmethod
    def prepare_root(cls, root):
        """Gives the served folder what the personality needs in it."""

    @classmethod
    def login_message(cls, user):
        """The text of the 230 reply to a good password."""
        return "Login successful."

    def __init__(self, conn, server, ioloop=None):
        self.current_verb = "GREETING"
        self._overrides = {}
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
        if self.faults.intercept(self, cmd):
            return
        if self.authenticated and self.serve_command(cmd, arg):
            return
        super().pre_process_command(line, cmd, arg)

    def serve_command(self, verb, arg):
        """Lets a personality answer a command of a logged-in session itself."""
        return False

    # --- replies

    def override_reply(self, code, line):
        """Replaces the next reply with `code` to the command being served by `line` (which
        may carry another code: 226 becomes "250 List completed." on IBM i)."""
        self._overrides[code] = line

    def respond(self, resp, logfun=logger.debug):
        code = resp[:3]
        text = self.reply_texts.get((self.current_verb, code))
        if code in self._overrides:
            resp = self._overrides[code]
        elif text is not None:
            resp = "%s %s" % (code, text)
        self._last_response = resp
        for line in self.faults.reply_lines(self.current_verb, resp):
            self.push(line + "\r\n")
        if self._log_debug:
            self.logline("-> %s" % resp, logfun=logfun)

    def respond_lines(self, lines):
        """Sends a multi-line reply; the caller writes the "nnn-" of the leading lines."""
        for line in lines[:-1]:
            self.push(line + "\r\n")
        self.respond(lines[-1])

    def push(self, s):
        self.faults.write(self, s.encode("utf8"))

    def close_when_done(self):
        self.faults.close_when_done(self)
