"""Starts tools/testftpd for a test and talks to it with ftplib in active mode or a raw socket."""

import ftplib
import io
import os
import re
import select
import shutil
import signal
import socket
import ssl
import subprocess
import tempfile
import time
import unittest

SOURCE_DIR = os.environ.get(
    "TARN_SOURCE_DIR",
    os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
SCRIPT = os.path.join(SOURCE_DIR, "tools", "testftpd", "testftpd")


class Server:
    """One server process on a fresh temporary root (or a given one)."""

    def __init__(self, *args, personality="unix", root=None):
        self._owned = root is None
        self.root = root or tempfile.mkdtemp(prefix="testftpd-")
        self._stderr = tempfile.TemporaryFile()
        self.process = subprocess.Popen(
            ["/usr/bin/python3", SCRIPT, "--personality", personality, "--root", self.root,
             *args], stdout=subprocess.PIPE, stderr=self._stderr)
        self.first_line = self._read_line(10)
        if not self.first_line.startswith(b"PORT "):
            self.stop()
            raise RuntimeError("server did not start: %r %s" % (self.first_line, self.errors()))
        self.port = int(self.first_line[5:])

    def _read_line(self, timeout):
        line = b""
        deadline = time.monotonic() + timeout
        while not line.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([self.process.stdout], [], [], 0.1)
            if ready:
                byte = os.read(self.process.stdout.fileno(), 1)
                if not byte:
                    break
                line += byte
        return line

    def errors(self):
        if self._stderr.closed:
            return self._errors
        self._stderr.seek(0)
        return self._stderr.read().decode("utf8", "replace")

    def stop(self, sig=signal.SIGTERM):
        """Stops the server (once) and returns its exit status."""
        if self.process.poll() is None:
            self.process.send_signal(sig)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if not self._stderr.closed:
            self._errors = self.errors()
            self.process.stdout.close()
            self._stderr.close()
            if self._owned:
                shutil.rmtree(self.root, ignore_errors=True)
        return self.process.returncode

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def write(self, relative, data):
        path = self.path(*relative.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def read(self, relative):
        with open(self.path(*relative.split("/")), "rb") as f:
            return f.read()

    def client(self, login=True):
        ftp = ftplib.FTP(timeout=10)
        ftp.connect("127.0.0.1", self.port)
        ftp.set_pasv(False)  # active mode, as Tarn's engine uses
        if login:
            ftp.login("tester", "secret")
        return ftp

    def raw(self):
        return RawControl(self.port)


class TlsClient(ftplib.FTP_TLS):
    """ftplib's FTP over TLS, with protected data connections that resume the control
    connection's TLS session (as vsftpd demands) and, when `implicit`, TLS from the first
    byte."""

    def __init__(self, context, implicit=False, reuse=True):
        super().__init__(context=context, timeout=10)
        self._implicit, self._reuse = implicit, reuse

    def connect(self, host, port):
        if not self._implicit:
            return super().connect(host, port)
        self.host, self.port = host, port
        self.sock = self.context.wrap_socket(socket.create_connection((host, port), 10),
                                             server_hostname=host)
        self.af = self.sock.family
        self.file = self.sock.makefile("r", encoding=self.encoding)
        self.welcome = self.getresp()
        return self.welcome

    def ntransfercmd(self, cmd, rest=None):
        conn, size = ftplib.FTP.ntransfercmd(self, cmd, rest)
        if self._prot_p:
            conn = self.context.wrap_socket(conn, server_hostname=self.host,
                                            session=self.sock.session if self._reuse else None)
        return conn, size


def unverified_context():
    context = ssl.create_default_context()
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    return context


class RawControl:
    """The control connection at byte level, for faults that ftplib would hide."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        self._buffer = b""

    def send(self, line):
        self.sock.sendall(line.encode("utf8") + b"\r\n")

    def _receive(self, deadline):
        """One recv until the deadline; b"" when nothing came or the peer closed."""
        self.sock.settimeout(max(0.01, deadline - time.monotonic()))
        try:
            return self.sock.recv(65536)
        except (socket.timeout, ConnectionResetError):
            return b""

    def reads(self, until, timeout=10):
        """Reads until `until` (bytes) has arrived; returns the chunks as received."""
        chunks, data = [], b""
        deadline = time.monotonic() + timeout
        while until not in data and time.monotonic() < deadline:
            chunk = self._receive(deadline)
            if not chunk:
                break
            chunks.append(chunk)
            data += chunk
        return chunks

    def read(self, until, timeout=10):
        """Reads up to and including `until`, or what came before the time-out."""
        deadline = time.monotonic() + timeout
        while until not in self._buffer and time.monotonic() < deadline:
            chunk = self._receive(deadline)
            if not chunk:
                break
            self._buffer += chunk
        end = self._buffer.find(until)
        end = len(self._buffer) if end < 0 else end + len(until)
        data, self._buffer = self._buffer[:end], self._buffer[end:]
        return data

    def read_reply(self, timeout=10):
        """Reads one whole reply, multi-line ones included, as text."""
        deadline = time.monotonic() + timeout
        data = b""
        while time.monotonic() < deadline:
            data += self.read(b"\r\n", deadline - time.monotonic())
            first = data[:4]
            if re.match(rb"^\d{3} ", first):
                return data.decode("utf8")
            # RFC 959: a reply begun with "nnn-" ends only at a line "nnn " of the same code
            if re.match(rb"^\d{3}-", first) and data.endswith(b"\r\n") and (
                    data.split(b"\r\n")[-2].startswith(first[:3] + b" ")):
                return data.decode("utf8")
        raise AssertionError("no whole reply within %ss: %r" % (timeout, data))

    def login(self, user="tester", password="secret"):
        greeting = self.read_reply()
        for line in ("USER " + user, "PASS " + password):
            self.send(line)
            self.read_reply()
        return greeting

    def send_port(self):
        """Sends PORT for a fresh listener and returns the listener, reply unread."""
        listener = socket.create_server(("127.0.0.1", 0))
        listener.settimeout(10)
        port = listener.getsockname()[1]
        self.send("PORT 127,0,0,1,%d,%d" % (port // 256, port % 256))
        return listener

    def open_data(self):
        """Sends PORT for a fresh listener and returns the server's data connection and the
        reply to PORT."""
        with self.send_port() as listener:
            conn, _ = listener.accept()
        return conn, self.read_reply()

    def silent(self, seconds):
        """True when nothing arrives on the control connection for `seconds` (what does
        arrive stays to be read)."""
        deadline = time.monotonic() + seconds
        while not self._buffer and time.monotonic() < deadline:
            chunk = self._receive(deadline)
            if not chunk:
                break
            self._buffer += chunk
        return not self._buffer

    def closed_by_peer(self, timeout=5):
        self.sock.settimeout(timeout)
        try:
            return self.sock.recv(1) == b""
        except ConnectionResetError:
            return True
        except socket.timeout:
            return False

    def close(self):
        self.sock.close()


def read_all(conn):
    """Reads a data connection to its end: (bytes, None) after a clean close, or (bytes read
    before it, the error) when it ends in a reset."""
    data = b""
    conn.settimeout(10)
    while True:
        try:
            chunk = conn.recv(65536)
        except ConnectionResetError as e:
            return data, e
        if not chunk:
            return data, None
        data += chunk


def accepted(listener, timeout):
    """The connection the server made to `listener` within `timeout`, or None."""
    listener.settimeout(timeout)
    try:
        return listener.accept()[0]
    except socket.timeout:
        return None


def retr(ftp, name):
    buf = io.BytesIO()
    reply = ftp.retrbinary("RETR " + name, buf.write)
    return reply, buf.getvalue()


def lines_of(ftp, command):
    lines = []
    reply = ftp.retrlines(command, lines.append)
    return reply, lines


class ServerTestCase(unittest.TestCase):
    """Starts a server per test; subclasses name the personality and extra arguments."""

    personality = "unix"
    args = ()

    def start(self, *args, personality=None):
        server = Server(*(args or self.args), personality=personality or self.personality)
        self.addCleanup(server.stop)
        return server

    def connect(self, server, login=True):
        ftp = server.client(login)
        self.addCleanup(ftp.close)
        return ftp

    def start_tls(self, mode, *args, personality=None):
        """A TLS server whose certificate material lands in `server.tls_dir`."""
        folder = tempfile.mkdtemp(prefix="testftpd-tls-test-")
        self.addCleanup(shutil.rmtree, folder, True)
        server = self.start("--tls", mode, "--tls-dir", folder, *args,
                            personality=personality)
        server.tls_dir = folder
        return server

    def connect_tls(self, server, implicit=False, context=None, reuse=True, host="127.0.0.1"):
        """A logged-in TLS client with protected data connections, passive mode."""
        ftp = TlsClient(context or unverified_context(), implicit, reuse)
        self.addCleanup(ftp.close)
        ftp.connect(host, server.port)
        if not implicit:
            ftp.auth()
        ftp.login("tester", "secret")
        ftp.prot_p()
        return ftp
