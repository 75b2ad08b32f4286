"""Fault switches: the ways the test server misbehaves on request.

One `Faults` object is shared by every session of a server run, so the counters of the
"only the first K times" switches count across sessions. The session handler calls the hooks
below at fixed points: when a command line arrives, when a reply is formed, when bytes are
written to the control connection, and when a data connection is opened; the data
connection (data.py) reads the data switches itself.
"""

import codecs
import collections
from dataclasses import dataclass, field
import time

from pyftpdlib.ioloop import AsyncChat

# Names a hostile server lists: each one turns into a path outside the client's download
# folder, or into a terminal escape, if the client takes it as it stands.
HOSTILE_NAMES = (
    "../../.bashrc",
    "a/b",
    "/tmp/testftpd-absolute",
    ".",
    "..",
    "..\\..\\boot.ini",
    "clear\x1b[2J\x07bell",
    "forged\r< 230 Logged in",
    "nul\x00name",
)

# What --control-chars puts around a reply text: clear the screen, set a terminal title
# (ended by BEL), a backspace and DEL, and a carriage return that makes a terminal or a naive
# log viewer print a forged line over the real one.
_CONTROL_LEAD = "\x1b[2J\x1b]0;testftpd\x07"
_CONTROL_TAIL = "\x08\x7f\r< 230 Forged log line"


def _verb_set(text):
    """Parses "RETR,LIST" (or "*" for every reply) into a set of upper-case verbs."""
    if text is None:
        return frozenset()
    return frozenset(v.strip().upper() for v in text.split(",") if v.strip())


def unescape(text):
    """Turns backslash escapes typed on a command line (\\n, \\r, \\x1b ...) into characters,
    leaving every other character as it is."""
    return codecs.decode(text.encode("latin-1", "backslashreplace"), "unicode_escape")


def _reply_texts(items):
    texts = {}
    for item in items or ():
        verb, sep, text = item.partition("=")
        if not sep:
            raise SystemExit("testftpd: --reply-text wants VERB=TEXT, got %r" % item)
        texts[verb.strip().upper()] = unescape(text)
    return texts


@dataclass
class Faults:
    # the control connection: timing and shape of replies
    no_greeting: bool = False
    reply_delay: float = 0.0  # seconds before every write of a reply line
    split_size: int = 0  # write replies in pieces of this many bytes
    split_pause: float = 0.02  # seconds between two pieces
    late: frozenset = frozenset()  # verbs whose final reply is held back
    late_delay: float = 2.0
    extra: frozenset = frozenset()  # verbs whose final reply is followed by one more
    extra_text: str = None  # None: the reply itself once more
    extra_pause: float = 0.0
    multiline: frozenset = frozenset()  # verbs whose replies become multi-line
    overlong: frozenset = frozenset()  # verbs whose final reply line is padded
    overlong_length: int = 8192
    garbage: frozenset = frozenset()  # verbs answered by a line without a code
    bare_lf: frozenset = frozenset()  # verbs whose replies end lines in LF alone
    control_chars: frozenset = frozenset()  # verbs whose final reply carries escapes
    reply_text: dict = field(default_factory=dict)  # verb -> whole final reply line
    echo_password: bool = False
    # commands
    refuse: frozenset = frozenset()  # verbs answered by 502
    refuse_rest: bool = False
    no_size: bool = False
    drop_control_verb: str = ""
    drop_control_nth: int = 1
    rcmd_fail: bool = False
    # data connections
    drop_data_after: int = -1  # bytes; -1: never
    drop_data_count: int = 0  # how many data connections are cut; 0: all of them
    drop_data_reset: bool = False  # cut with a reset instead of a close
    drop_data_reply: str = "426"  # 426, or 226 for a server that claims success
    data_rate: int = 0  # bytes per second on data connections; 0: unlimited
    early: frozenset = frozenset()  # transfers whose completion reply comes first
    fail_after_start: frozenset = frozenset()  # transfers answered 150 then 550
    no_data: frozenset = frozenset()  # transfers whose data connection never comes
    no_data_wait: float = None  # seconds before such a transfer gets 425; None: never
    port_connect_delay: float = 0.0
    port_unreachable: bool = False
    short_downloads: int = 0  # bytes a download leaves out before a clean end
    announce_size: bool = False
    # listings
    listing_names: tuple = ()
    listing_file: str = None  # every LIST sends this file's bytes instead of the folder's
    _control_seen: int = field(default=0, repr=False)
    _data_cut: int = field(default=0, repr=False)

    @classmethod
    def from_args(cls, args):
        verb, _, nth = (args.drop_control_after or "").partition(":")
        no_data, _, wait = (args.no_data_connection or "").partition(":")
        names = tuple(HOSTILE_NAMES if args.hostile_listing else ())
        names += tuple(unescape(n) for n in args.listing_name or ())
        return cls(
            no_greeting=args.no_greeting,
            reply_delay=args.reply_delay / 1000.0,
            split_size=args.split_replies,
            split_pause=args.split_pause / 1000.0,
            late=_verb_set(args.late_replies),
            late_delay=args.late_delay / 1000.0,
            extra=_verb_set(args.extra_reply),
            extra_text=None if args.extra_text is None else unescape(args.extra_text),
            extra_pause=args.extra_pause / 1000.0,
            multiline=_verb_set(args.multiline_replies),
            overlong=_verb_set(args.overlong_replies),
            overlong_length=args.overlong_length,
            garbage=_verb_set(args.garbage_replies),
            bare_lf=_verb_set(args.bare_lf),
            control_chars=_verb_set(args.control_chars),
            reply_text=_reply_texts(args.reply_text),
            echo_password=args.echo_password,
            refuse=_verb_set(args.refuse),
            refuse_rest=args.refuse_rest,
            no_size=args.no_size,
            drop_control_verb=verb.upper(),
            drop_control_nth=int(nth) if nth else 1,
            rcmd_fail=args.rcmd_fail,
            drop_data_after=args.drop_data_after,
            drop_data_count=args.drop_data_count,
            drop_data_reset=args.drop_data_reset,
            drop_data_reply=args.drop_data_reply,
            data_rate=args.data_rate,
            early=_verb_set(args.early_completion),
            fail_after_start=_verb_set(args.fail_after_start),
            no_data=_verb_set(no_data),
            no_data_wait=int(wait) / 1000.0 if wait else None,
            port_connect_delay=args.port_connect_delay / 1000.0,
            port_unreachable=args.port_unreachable,
            short_downloads=args.short_downloads,
            announce_size=args.announce_size,
            listing_names=names,
            listing_file=args.listing_file,
        )

    @staticmethod
    def applies(verbs, verb):
        return "*" in verbs or verb in verbs

    # --- commands

    def intercept(self, session, verb):
        """Answers (or swallows) a command line instead of the personality.

        Returns True when the command has been dealt with here.
        """
        if self.no_greeting:
            return True  # a server that never greets never answers either
        if self.drop_control_verb and verb == self.drop_control_verb:
            self._control_seen += 1
            if self._control_seen == self.drop_control_nth:
                session.close()  # no reply: the link is simply gone
                return True
        if verb in self.refuse:
            session.respond("502 %s command not implemented." % verb)
            return True
        if verb == "REST" and self.refuse_rest:
            session.respond("502 REST command not implemented.")
            return True
        if verb == "SIZE" and self.no_size:
            session.respond('500 Command "SIZE" not understood.')
            return True
        return False

    # --- replies

    def final_text(self, verb, resp, password):
        """The final reply line `resp` to `verb` as the text switches change it."""
        if verb in self.reply_text:
            return self.reply_text[verb]
        code, text = resp[:3], resp[4:]
        if self.echo_password and verb == "PASS" and code == "530":
            text = "Login incorrect for password %s." % password
        if self.applies(self.control_chars, verb):
            text = _CONTROL_LEAD + text + _CONTROL_TAIL
        return "%s %s" % (code, text)

    def reply_lines(self, verb, resp):
        """The lines that carry the final reply `resp` to command `verb`."""
        code, text = resp[:3], resp[4:]
        if self.applies(self.garbage, verb):
            return ["Something went wrong here, " + text]
        lines = []
        if self.applies(self.multiline, verb):
            other = "200" if code != "200" else "250"
            lines = [
                "%s-%s" % (code, text),
                "This reply goes on over several lines,",
                " one of them indented, one with no code at all.",
                "%s0 begins with the code but is no final line." % code,
                "%s looks final but carries another code." % other,
                "%s-still going." % code,
            ]
        if self.applies(self.overlong, verb):
            resp += " " + "x" * max(0, self.overlong_length - len(resp) - 1)
        return lines + [resp]

    def line_end(self, verb):
        return "\n" if self.applies(self.bare_lf, verb) else "\r\n"

    def greets(self):
        return not self.no_greeting

    # --- control connection writes

    def shapes_output(self):
        return self.reply_delay > 0 or self.split_size > 0

    def write(self, session, data, delay=0.0):
        """Writes reply bytes, slowly or in small pieces when a switch asks for it.

        `delay` holds this write (and, to keep the order, every later one) back."""
        if not (self.shapes_output() or delay or session.__dict__.get("_write_queue")):
            AsyncChat.push(session, data)
            return
        size = self.split_size or len(data)
        pieces = [data[i:i + size] for i in range(0, len(data), size)]
        for i, piece in enumerate(pieces):
            pause = self.reply_delay + delay if i == 0 else self.split_pause
            self._schedule(session, pause, AsyncChat.push, session, piece)

    def close_when_done(self, session):
        self.after_writes(session, lambda: AsyncChat.close_when_done(session))

    def after_writes(self, session, function):
        """Calls `function` once the writes queued before it are out."""
        if not (self.shapes_output() or session.__dict__.get("_write_queue")):
            function()
        else:
            self._schedule(session, 0, function)

    @staticmethod
    def _schedule(session, pause, function, *args):
        """Queues a write (or the close) `pause` seconds after the one queued before it.

        One queue per session, drained by one timer at a time, keeps the writes in order."""
        queue = session.__dict__.setdefault("_write_queue", collections.deque())
        last = queue[-1][0] if queue else time.monotonic()
        queue.append((max(last, time.monotonic()) + pause, function, args))
        if len(queue) == 1:
            Faults._drain_later(session)

    @staticmethod
    def _drain_later(session):
        queue = session._write_queue
        delay = max(0.0, queue[0][0] - time.monotonic())

        def drain():
            while queue and queue[0][0] <= time.monotonic() and not session._closed:
                _, function, args = queue.popleft()
                function(*args)
            if queue and not session._closed:
                Faults._drain_later(session)

        session.ioloop.call_later(delay, drain, _errback=session.handle_error)

    # --- data connections

    def claim_data_cut(self):
        """The byte count after which the new data connection is cut, or None."""
        if self.drop_data_after < 0:
            return None
        if self.drop_data_count and self._data_cut >= self.drop_data_count:
            return None
        self._data_cut += 1
        return self.drop_data_after

    def shapes_data(self):
        return self.drop_data_after >= 0 or self.data_rate > 0 or self.short_downloads > 0

    def defers_port(self):
        """Whether PORT is answered at once and the data connection made only for the
        transfer command (needed to leave a transfer without any data connection)."""
        return bool(self.no_data)


def add_arguments(parser):
    group = parser.add_argument_group(
        "fault switches",
        "VERBS is a comma list of command verbs, GREETING for the 220, or * for every reply. "
        "TEXT and NAME may hold backslash escapes such as \\n, \\r and \\x1b.")
    add = group.add_argument
    add("--no-greeting", action="store_true",
        help="accept connections but never send a greeting nor any reply")
    add("--reply-delay", type=int, default=0, metavar="MS",
        help="wait MS milliseconds before every reply")
    add("--split-replies", type=int, default=0, metavar="N",
        help="write replies in pieces of N bytes")
    add("--split-pause", type=int, default=20, metavar="MS",
        help="pause between two pieces of a split reply (default 20)")
    add("--late-replies", metavar="VERBS",
        help="hold the final reply to these commands back by --late-delay")
    add("--late-delay", type=int, default=2000, metavar="MS",
        help="how long --late-replies holds a reply back (default 2000)")
    add("--extra-reply", metavar="VERBS",
        help="follow the final reply to these commands by one more reply line")
    add("--extra-text", metavar="TEXT",
        help="the line --extra-reply sends (default: the reply once more)")
    add("--extra-pause", type=int, default=0, metavar="MS",
        help="pause before the --extra-reply line (default 0)")
    add("--multiline-replies", metavar="VERBS",
        help="make the replies to these commands multi-line")
    add("--overlong-replies", metavar="VERBS",
        help="pad the final reply line to these commands to --overlong-length")
    add("--overlong-length", type=int, default=8192, metavar="N",
        help="length of a padded reply line without CR LF (default 8192)")
    add("--garbage-replies", metavar="VERBS",
        help="answer these commands with a line that carries no reply code")
    add("--bare-lf", metavar="VERBS",
        help="end the reply lines to these commands with LF alone")
    add("--control-chars", metavar="VERBS",
        help="put terminal escapes, BEL and a CR-forged line into these final replies")
    add("--reply-text", action="append", metavar="VERB=TEXT",
        help="answer VERB (after doing it) with the line TEXT; repeatable")
    add("--echo-password", action="store_true",
        help="refuse a password with '530 Login incorrect for password <it>.'")
    add("--refuse", metavar="VERBS",
        help="answer these commands with '502 <VERB> command not implemented.'")
    add("--refuse-rest", action="store_true", help="answer REST with 502")
    add("--no-size", action="store_true",
        help="answer SIZE with 500 as a server that does not know it")
    add("--drop-control-after", metavar="VERB[:N]",
        help="close the control connection without a reply when VERB "
             "arrives for the N-th time (default the first)")
    add("--rcmd-fail", action="store_true", help="os400: every RCMD fails with a 550 pair")
    add("--drop-data-after", type=int, default=-1, metavar="N",
        help="cut data connections after N bytes, replying 426")
    add("--drop-data-count", type=int, default=0, metavar="K",
        help="cut only the first K data connections (default: all)")
    add("--drop-data-reset", action="store_true",
        help="cut with a reset (RST) instead of a close")
    add("--drop-data-reply", choices=("426", "226"), default="426",
        help="reply after a cut: 426, or the usual completion reply (226)")
    add("--data-rate", type=int, default=0, metavar="BPS",
        help="limit data connections to BPS bytes per second")
    add("--early-completion", metavar="VERBS",
        help="send the completion reply of these transfers as soon as they start")
    add("--fail-after-start", metavar="VERBS",
        help="answer these transfers with 150, close the data connection and reply 550")
    add("--no-data-connection", metavar="VERBS[:MS]",
        help="answer these transfers with 150 and never make their data connection; "
             "after MS, if given, reply 425")
    add("--port-connect-delay", type=int, default=0, metavar="MS",
        help="connect to the port named by PORT only MS later (425 if it is gone)")
    add("--port-unreachable", action="store_true",
        help="never reach the port named by PORT: 425 after --port-connect-delay")
    add("--short-downloads", type=int, default=0, metavar="N",
        help="leave the last N bytes out of every RETR, then close cleanly and reply 226")
    add("--announce-size", action="store_true",
        help="name the length of a RETR in its 150 reply")
    add("--hostile-listing", action="store_true",
        help="add entries whose names leave the client's folder or hold escapes "
             "to every listing; RETR and SIZE serve them")
    add("--listing-name", action="append", metavar="NAME",
        help="add one more such entry; repeatable")
    add("--listing-file", metavar="FILE",
        help="answer every LIST with the bytes of FILE, as they stand, instead of the "
             "folder's lines (big listings for benchmarks, made once by the caller)")
