"""Command line, server set-up and the serve loop."""

import argparse
import logging
import os
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.servers import FTPServer

from . import faults, personalities


def parse_args(argv):
    parser = argparse.ArgumentParser(
        prog="testftpd",
        description="FTP server for tests: serves a folder on 127.0.0.1 with the manners of a "
                    "Unix, Windows NT or IBM i (OS/400) server.")
    parser.add_argument("--personality", choices=personalities.PERSONALITIES, default="unix")
    parser.add_argument("--root", default=".", help="folder to serve (default: current)")
    parser.add_argument("--port", type=int, default=0, help="port to listen on; 0: a free one")
    parser.add_argument("--user", default="tester")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--verbose", action="store_true",
                        help="log every command and reply on standard error")
    group = parser.add_argument_group("os400 personality")
    group.add_argument("--os400-namefmt", choices=("0", "1"), default="0",
                       help="naming format a session starts in (default 0)")
    group.add_argument("--os400-date-format", choices=("mdy", "dmy", "ymd"), default="mdy",
                       help="job date format of listings: MM/DD/YY, DD.MM.YY or YY/MM/DD")
    group.add_argument("--os400-stor-code", choices=("226", "250"), default="226",
                       help="completion code of STOR and APPE (older releases: 250)")
    group.add_argument("--os400-release", default="V7R3M0", help="release shown by SYST")
    faults.add_arguments(parser)
    return parser.parse_args(argv)


def build_server(args):
    root = os.path.realpath(args.root)
    if not os.path.isdir(root):
        raise SystemExit("testftpd: %s is not a folder" % args.root)
    base = personalities.session_class(args.personality)
    fault_set = faults.Faults.from_args(args)
    data_class = type("DataConnection", (base.dtp_handler,),
                      {"read_limit": fault_set.data_rate, "write_limit": fault_set.data_rate})
    session = type(base.__name__, (base,), {
        "faults": fault_set,
        "dtp_handler": data_class,
        "options": args,
        "authorizer": DummyAuthorizer(),
    })
    session.prepare_root(root)
    session.authorizer.add_user(args.user, args.password, root, perm="elradfmwMT",
                                msg_login=session.login_message(args.user))
    return FTPServer(("127.0.0.1", args.port), session)


def _stop(signum, frame):
    raise SystemExit(0)


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    handler = logging.StreamHandler(sys.stderr)
    handler.setFormatter(logging.Formatter("testftpd %(levelname)s %(message)s"))
    log = logging.getLogger("pyftpdlib")
    log.addHandler(handler)
    log.setLevel(logging.DEBUG if args.verbose else logging.WARNING)
    server = build_server(args)
    signal.signal(signal.SIGTERM, _stop)
    signal.signal(signal.SIGINT, _stop)
    print("PORT %d" % server.address[1], flush=True)
    server.serve_forever(handle_exit=True)
    return 0
