"""Command line, server set-up and the serve loop."""

import argparse
import logging
import os
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.servers import FTPServer

from . import faults, personalities, tls
from .wire import WireRecorder


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
    parser.add_argument("--pasv-address", metavar="IP",
                        help="the address PASV replies name (the server still listens on "
                             "127.0.0.1)")
    parser.add_argument("--record-wire", metavar="DIR",
                        help="listen through a relay that records the control connections' "
                             "bytes in DIR (client-to-server.bin, server-to-client.bin)")
    group = parser.add_argument_group("os400 personality")
    group.add_argument("--os400-namefmt", choices=("0", "1"), default="0",
                       help="naming format a session starts in (default 0)")
    group.add_argument("--os400-date-format", choices=("mdy", "dmy", "ymd"), default="mdy",
                       help="job date format of listings: MM/DD/YY, DD.MM.YY or YY/MM/DD")
    group.add_argument("--os400-stor-code", choices=("226", "250"), default="226",
                       help="completion code of STOR and APPE (older releases: 250)")
    group.add_argument("--os400-release", default="V7R3M0", help="release shown by SYST")
    faults.add_arguments(parser)
    tls.add_arguments(parser)
    args = parser.parse_args(argv)
    if args.tls_key and not args.tls_cert:
        parser.error("--tls-key needs --tls-cert")
    return args


def build_server(args, material=None):
    root = os.path.realpath(args.root)
    if not os.path.isdir(root):
        raise SystemExit("testftpd: %s is not a folder" % args.root)
    base = personalities.session_class(args.personality)
    if material is not None:
        base = tls.secure(base, args, material)
    fault_set = faults.Faults.from_args(args)
    data_class = type("DataConnection", (base.dtp_handler,),
                      {"read_limit": fault_set.data_rate, "write_limit": fault_set.data_rate})
    session = type(base.__name__, (base,), {
        "faults": fault_set,
        "dtp_handler": data_class,
        "options": args,
        "authorizer": DummyAuthorizer(),
        "masquerade_address": args.pasv_address,
    })
    session.prepare_root(root)
    session.authorizer.add_user(args.user, args.password, root, perm="elradfmwMT",
                                msg_login=session.login_message(args.user))
    return FTPServer(("127.0.0.1", 0 if args.record_wire else args.port), session)


def _stop(signum, frame):
    raise SystemExit(0)


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    handler = logging.StreamHandler(sys.stderr)
    handler.setFormatter(logging.Formatter("testftpd %(levelname)s %(message)s"))
    log = logging.getLogger("pyftpdlib")
    log.addHandler(handler)
    log.setLevel(logging.DEBUG if args.verbose else logging.WARNING)
    material = tls.Material(args) if args.tls else None
    try:
        server = build_server(args, material)
        port = server.address[1]
        if args.record_wire:
            port = WireRecorder(port, args.record_wire, args.port).start().port
        signal.signal(signal.SIGTERM, _stop)
        signal.signal(signal.SIGINT, _stop)
        print("PORT %d" % port, flush=True)
        server.serve_forever(handle_exit=True)
    finally:
        if material is not None:
            material.remove()
    return 0
