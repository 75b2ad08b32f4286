"""Fault switches: the ways the test server misbehaves on request.

One `Faults` object is shared by every session of a server run, so the counters of the
"only the first K times" switches count across sessions. The session handler calls the hooks
below at fixed points: when a command line arrives, when a reply is formed, when bytes are
written to the control connection, and when a data connection is opened.
"""

import collections
from dataclasses import dataclass, field
import time

from pyftpdlib.ioloop import AsyncChat


def _verb_set(text):
    """Parses "RETR,LIST" (or "*" for every reply) into a set of upper-case verbs."""
    if text is None:
        return frozenset()
    return frozenset(v.strip().upper() for v in text.split(",") if v.strip())


@dataclass
class Faults:
    no_greeting: bool = False
    reply_delay: float = 0.0  # seconds before every write of a reply line
    split_size: int = 0  # write replies in pieces of this many bytes
    split_pause: float = 0.02  # seconds between two pieces
    multiline: frozenset = frozenset()  # verbs whose replies become multi-line
    overlong: frozenset = frozenset()  # verbs whose final reply line is padded
    overlong_length: int = 8192
    garbage: frozenset = frozenset()  # verbs answered by a line without a code
    refuse_rest: bool = False
    no_size: bool = False
    drop_data_after: int = -1  # bytes; -1: never
    drop_data_count: int = 0  # how many data connections are cut; 0: all of them
    drop_control_verb: str = ""
    drop_control_nth: int = 1
    data_rate: int = 0  # bytes per second on data connections; 0: unlimited
    rcmd_fail: bool = False
    _control_seen: int = field(default=0, repr=False)
    _data_cut: int = field(default=0, repr=False)

    @classmethod
    def from_args(cls, args):
        verb, _, nth = (args.drop_control_after or "").partition(":")
        return cls(
            no_greeting=args.no_greeting,
            reply_delay=args.reply_delay / 1000.0,
            split_size=args.split_replies,
            split_pause=args.split_pause / 1000.0,
            multiline=_verb_set(args.multiline_replies),
            overlong=_verb_set(args.overlong_replies),
            overlong_length=args.overlong_length,
            garbage=_verb_set(args.garbage_replies),
            refuse_rest=args.refuse_rest,
            no_size=args.no_size,
            drop_data_after=args.drop_data_after,
            drop_data_count=args.drop_data_count,
            drop_control_verb=verb.upper(),
            drop_control_nth=int(nth) if nth else 1,
            data_rate=args.data_rate,
            rcmd_fail=args.rcmd_fail,
        )

    # --- commands

    def intercept(self, session, verb):
        """Answers (or swallows) a command line instead of the personality.

        Returns True when the command has been dealt with here.
        """
        if self.no_greeting:
            return True  # a server that never greets never answers either
        if verb == self.drop_control_verb:
            self._control_seen += 1
            if self._control_seen == self.drop_control_nth:
                session.close()  # no reply: the link is simply gone
                return True
        if verb == "REST" and self.refuse_rest:
            session.respond("502 REST command not implemented.")
            return True
        if verb == "SIZE" and self.no_size:
            session.respond('500 Command "SIZE" not understood.')
            return True
        return False

    # --- replies

    @staticmethod
    def _applies(verbs, verb):
        return "*" in verbs or verb in verbs

    def reply_lines(self, verb, resp):
        """The lines that carry the final reply `resp` to command `verb`."""
        code, text = resp[:3], resp[4:]
        if self._applies(self.garbage, verb):
            return ["Something went wrong here, " + text]
        lines = []
        if self._applies(self.multiline, verb):
            other = "200" if code != "200" else "250"
            lines = [
                "%s-%s" % (code, text),
                "This reply goes on over several lines,",
                " one of them indented, one with no code at all.",
                "%s0 begins with the code but is no final line." % code,
                "%s looks final but carries another code." % other,
                "%s-still going." % code,
            ]
        if self._applies(self.overlong, verb):
            resp += " " + "x" * max(0, self.overlong_length - len(resp) - 1)
        return lines + [resp]

    def greets(self):
        return not self.no_greeting

    # --- control connection writes

    def shapes_output(self):
        return self.reply_delay > 0 or self.split_size > 0

    def write(self, session, data):
        """Writes reply bytes, slowly or in small pieces when a switch asks for it."""
        if not self.shapes_output():
            AsyncChat.push(session, data)
            return
        size = self.split_size or len(data)
        pieces = [data[i:i + size] for i in range(0, len(data), size)]
        for i, piece in enumerate(pieces):
            pause = self.reply_delay if i == 0 else self.split_pause
            self._schedule(session, pause, AsyncChat.push, session, piece)

    def close_when_done(self, session):
        if not self.shapes_output():
            AsyncChat.close_when_done(session)
        else:
            self._schedule(session, 0, AsyncChat.close_when_done, session)

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
        return self.drop_data_after >= 0 or self.data_rate > 0


def add_arguments(parser):
    group = parser.add_argument_group("fault switches")
    group.add_argument("--no-greeting", action="store_true",
                       help="accept connections but never send a greeting nor any reply")
    group.add_argument("--reply-delay", type=int, default=0, metavar="MS",
                       help="wait MS milliseconds before every reply")
    group.add_argument("--split-replies", type=int, default=0, metavar="N",
                       help="write replies in pieces of N bytes")
    group.add_argument("--split-pause", type=int, default=20, metavar="MS",
                       help="pause between two pieces of a split reply (default 20)")
    group.add_argument("--multiline-replies", metavar="VERBS",
                       help="make the replies to these commands multi-line "
                            "(comma list, GREETING for the 220, * for all)")
    group.add_argument("--overlong-replies", metavar="VERBS",
                       help="pad the final reply line to these commands to --overlong-length")
    group.add_argument("--overlong-length", type=int, default=8192, metavar="N",
                       help="length of a padded reply line without CR LF (default 8192)")
    group.add_argument("--garbage-replies", metavar="VERBS",
                       help="answer these commands with a line that carries no reply code")
    group.add_argument("--refuse-rest", action="store_true",
                       help="answer REST with 502")
    group.add_argument("--no-size", action="store_true",
                       help="answer SIZE with 500 as a server that does not know it")
    group.add_argument("--drop-data-after", type=int, default=-1, metavar="N",
                       help="close data connections after N bytes, replying 426")
    group.add_argument("--drop-data-count", type=int, default=0, metavar="K",
                       help="cut only the first K data connections (default: all)")
    group.add_argument("--drop-control-after", metavar="VERB[:N]",
                       help="close the control connection without a reply when VERB "
                            "arrives for the N-th time (default the first)")
    group.add_argument("--data-rate", type=int, default=0, metavar="BPS",
                       help="limit data connections to BPS bytes per second")
    group.add_argument("--rcmd-fail", action="store_true",
                       help="os400: every RCMD fails with a 550 pair")
