"""FTP over TLS for every personality, on pyftpdlib's TLS handlers (pyOpenSSL).

Explicit: the session starts in clear and AUTH TLS secures it; PBSZ 0 and PROT P then protect
the data connections. Implicit: TLS from the first byte, the greeting comes after the handshake
and data connections are protected from the start. A data connection can be made to end
without TLS close_notify, and to be refused when it does not resume the control connection's
TLS session (as vsftpd's require_ssl_reuse does).
"""

import logging
import os
import shutil
import tempfile

from OpenSSL import SSL
from OpenSSL._util import lib as _openssl  # for SSL_session_reused, which pyOpenSSL lacks
from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

from . import certs
from .data import DataConnection

logger = logging.getLogger("pyftpdlib")


class TlsDataConnection(DataConnection, TLS_DTPHandler):
    """A data connection that TLS protects after PROT P."""

    def close_abruptly(self):
        self._ssl_established = False  # skips the close_notify
        self.close()

    def close(self):
        if self.cmd_channel.options.tls_no_close_notify:
            self._ssl_established = False
        super().close()

    def handle_ssl_established(self):
        if (self.cmd_channel.options.tls_require_reuse
                and not _openssl.SSL_session_reused(self.socket._ssl)):
            self._resp = ("522 SSL connection failed: session reuse required.", logger.info)
            self.close_abruptly()


class TlsSession:
    """Put in front of a personality's session class (with pyftpdlib's TLS handler behind
    it) by `secure`."""

    implicit = False

    def __init__(self, conn, server, ioloop=None):
        self._greeted = False
        super().__init__(conn, server, ioloop)
        if self.implicit and self.connected:
            self._pbsz = self._prot = True

    def handle(self):
        if self.implicit:
            self.secure_connection(self.ssl_context)  # the greeting waits for the handshake
        else:
            super().handle()

    def handle_ssl_established(self):
        if self.implicit and not self._greeted:
            self._greeted = True
            super().handle()

    def ftp_AUTH(self, line):
        kind = line.upper()
        if isinstance(self.socket, SSL.Connection):
            self.respond("503 Already using TLS.")
        elif kind in ("TLS", "TLS-C", "SSL", "TLS-P"):
            self.respond("234 AUTH %s successful." % kind)
            # the 234 leaves in clear, also when a switch holds replies back
            self.faults.after_writes(self, lambda: self.secure_connection(self.ssl_context))
        else:
            self.respond("502 Unrecognized encryption type (use TLS or SSL).")


def _context(cert_path, key_path):
    context = SSL.Context(SSL.TLS_SERVER_METHOD)
    context.set_min_proto_version(SSL.TLS1_2_VERSION)
    context.set_options(SSL.OP_NO_COMPRESSION)
    context.use_certificate_chain_file(cert_path)
    context.use_privatekey_file(key_path)
    context.set_session_id(b"testftpd")  # lets data connections resume the session
    return context


class Material:
    """The certificate and key of a server run: given, or made in `--tls-dir` (by default a
    temporary folder that `remove` deletes)."""

    def __init__(self, args):
        self._owned = None
        folder = args.tls_dir
        if folder is None:
            folder = self._owned = tempfile.mkdtemp(prefix="testftpd-tls-")
        if args.tls_cert:
            self.cert, self.key = args.tls_cert, args.tls_key or args.tls_cert
            os.makedirs(folder, exist_ok=True)
        else:
            hosts = [h.strip() for h in args.tls_host.split(",") if h.strip()]
            self.cert, self.key = certs.make(folder, hosts, args.tls_issuer, args.tls_expired)
        certs.describe(folder, self.cert)

    def remove(self):
        if self._owned:
            shutil.rmtree(self._owned, ignore_errors=True)


def secure(base, args, material):
    """The TLS variant of the personality's session class `base`."""
    data_class = type("TlsDataConnection", (TlsDataConnection,), {})
    return type("Tls" + base.__name__, (TlsSession, base, TLS_FTPHandler), {
        "implicit": args.tls == "implicit",
        "ssl_context": _context(material.cert, material.key),
        "tls_control_required": args.tls_required,
        "tls_data_required": args.tls_required,
        "dtp_handler": data_class,
    })


def add_arguments(parser):
    group = parser.add_argument_group("TLS")
    add = group.add_argument
    add("--tls", choices=("explicit", "implicit"),
        help="explicit: AUTH TLS, PBSZ and PROT on the normal port; implicit: TLS from "
             "the first byte")
    add("--tls-required", action="store_true",
        help="explicit: refuse USER, PASS and data commands before AUTH TLS and PROT P")
    add("--tls-cert", metavar="FILE", help="the server's certificate (PEM, chain allowed)")
    add("--tls-key", metavar="FILE", help="its key (default: in --tls-cert)")
    add("--tls-dir", metavar="DIR",
        help="where a certificate made at start is written (key.pem, cert.pem, ca.pem) "
             "and the fingerprint of the one in use (default: a temporary folder)")
    add("--tls-issuer", choices=("self", "ca"), default="self",
        help="a made certificate is self-signed, or signed by a new local CA (ca.pem)")
    add("--tls-host", default="localhost,127.0.0.1", metavar="NAMES",
        help="names and addresses a made certificate is for (comma list; the first is "
             "its common name; default localhost,127.0.0.1)")
    add("--tls-expired", action="store_true", help="make the certificate expired")
    add("--tls-no-close-notify", action="store_true",
        help="end protected data connections without TLS close_notify")
    add("--tls-require-reuse", action="store_true",
        help="refuse protected data connections that do not resume the control "
             "connection's TLS session (522)")
