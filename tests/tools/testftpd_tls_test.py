"""FTP over TLS: explicit and implicit in every personality, the certificates a test can ask
for, the wire seen through the recording relay, and the TLS faults of data connections."""

import ftplib
import hashlib
import io
import os
import shutil
import socket
import ssl
import subprocess
import tempfile
import unittest

from testftpd_support import SOURCE_DIR, ServerTestCase, unverified_context

AUTH_REPLIES = {"unix": "234 AUTH TLS successful.",
                "windows": "234 AUTH command ok. Expecting TLS Negotiation.",
                "os400": "234 Security environment established - ready for negotiation."}


def recorded(folder):
    with open(os.path.join(folder, "client-to-server.bin"), "rb") as f:
        up = f.read()
    with open(os.path.join(folder, "server-to-client.bin"), "rb") as f:
        return up, f.read()


class TlsCase(ServerTestCase):
    def folder(self):
        folder = tempfile.mkdtemp(prefix="testftpd-wire-")
        self.addCleanup(shutil.rmtree, folder, True)
        return folder


class TlsSessions(TlsCase):
    def test_explicit_and_implicit_transfers_in_every_personality(self):
        sizes = (0, 1, 300001)
        for mode in ("explicit", "implicit"):
            for personality in ("unix", "windows", "os400"):
                with self.subTest(mode=mode, personality=personality):
                    server = self.start_tls(mode, personality=personality)
                    contents = {n: os.urandom(n) for n in sizes}
                    for n, data in contents.items():
                        server.write("home/down%d" % n, data)
                    ftp = self.connect_tls(server, implicit=mode == "implicit")
                    if mode == "explicit":
                        self.assertEqual(ftp.welcome[:3], "220")
                        self.assertIn(ftp.sock.version(), ("TLSv1.2", "TLSv1.3"))
                    for passive in (True, False):
                        ftp.set_pasv(passive)
                        for n, data in contents.items():
                            got = io.BytesIO()
                            ftp.retrbinary("RETR /home/down%d" % n, got.write)
                            self.assertEqual(got.getvalue(), data)
                            ftp.storbinary("STOR /home/up%d" % n, io.BytesIO(data))
                            self.assertEqual(server.read("home/up%d" % n), data)
                    names = []
                    ftp.retrlines("LIST /home", names.append)
                    self.assertTrue(any(l.endswith("down300001") for l in names), names)

    def test_auth_reply_of_each_personality(self):
        for personality, reply in AUTH_REPLIES.items():
            with self.subTest(personality=personality):
                server = self.start_tls("explicit", personality=personality)
                ftp = ftplib.FTP_TLS(context=unverified_context(), timeout=10)
                self.addCleanup(ftp.close)
                ftp.connect("127.0.0.1", server.port)
                self.assertEqual(ftp.auth(), reply)

    def test_auth_reply_leaves_in_clear_when_replies_are_held_back(self):
        server = self.start_tls("explicit", "--reply-delay", "50", "--split-replies", "3")
        server.write("f", b"data")
        got = io.BytesIO()
        self.connect_tls(server).retrbinary("RETR f", got.write)
        self.assertEqual(got.getvalue(), b"data")

    def test_the_wire_shows_the_password_only_in_clear(self):
        cases = [
            # TLS mode or None for clear, what the client sent in clear
            (None, b"USER tester\r\nPASS secret\r\n"),
            ("explicit", b"AUTH TLS\r\n"),
            ("implicit", b""),
        ]
        for mode, clear in cases:
            with self.subTest(mode=mode):
                wire = self.folder()
                if mode is None:
                    server = self.start("--record-wire", wire)
                    ftp = self.connect(server)
                else:
                    server = self.start_tls(mode, "--record-wire", wire)
                    ftp = self.connect_tls(server, implicit=mode == "implicit")
                ftp.pwd()
                ftp.quit()
                up, down = recorded(wire)
                self.assertTrue(up.startswith(clear), up[:40])
                self.assertEqual(b"secret" in up, mode is None)
                if mode is not None:
                    self.assertNotIn(b"USER", up)
                    self.assertEqual(up[len(clear):len(clear) + 1], b"\x16")  # a handshake
                self.assertEqual(down[:1], b"\x16" if mode == "implicit" else b"2")

    def test_refused_and_required_tls(self):
        server = self.start_tls("explicit", "--refuse", "AUTH")
        ftp = self.connect(server, login=False)
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.sendcmd("AUTH TLS")
        self.assertEqual(str(caught.exception), "502 AUTH command not implemented.")

        ftp = self.connect(self.start(), login=False)  # a server without TLS at all
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.sendcmd("AUTH TLS")
        self.assertEqual(str(caught.exception), '500 Command "AUTH" not understood.')

        server = self.start_tls("explicit", "--tls-required")
        ftp = ftplib.FTP_TLS(context=unverified_context(), timeout=10)
        self.addCleanup(ftp.close)
        ftp.connect("127.0.0.1", server.port)
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.sendcmd("USER tester")
        self.assertEqual(str(caught.exception), "550 SSL/TLS required on the control channel.")
        ftp.login("tester", "secret")
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.sendcmd("PASV")
        self.assertEqual(str(caught.exception), "550 SSL/TLS required on the data channel.")


class Certificates(ServerTestCase):
    def handshake(self, server, context, host="127.0.0.1"):
        ftp = ftplib.FTP_TLS(context=context, timeout=10)
        self.addCleanup(ftp.close)
        ftp.connect(host, server.port)
        ftp.auth()
        return ftp.sock.getpeercert(binary_form=True)

    def fingerprint(self, server):
        with open(os.path.join(server.tls_dir, "fingerprint")) as f:
            return f.read().strip()

    def verifying(self, server):
        return ssl.create_default_context(cafile=os.path.join(server.tls_dir, "ca.pem"))

    def test_fingerprint_names_the_certificate_the_server_shows(self):
        server = self.start_tls("explicit")
        der = self.handshake(server, unverified_context())
        digest = hashlib.sha256(der).hexdigest().upper()
        self.assertEqual(self.fingerprint(server).replace(":", ""), digest)
        printed = subprocess.run(["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in",
                                  os.path.join(server.tls_dir, "cert.pem")],
                                 capture_output=True, text=True, check=True).stdout
        self.assertEqual(printed.strip().split("=", 1)[1], self.fingerprint(server))
        # a server given that certificate shows the same one
        again = self.start_tls("explicit", "--tls-cert", os.path.join(server.tls_dir, "cert.pem"),
                               "--tls-key", os.path.join(server.tls_dir, "key.pem"))
        self.assertEqual(self.handshake(again, unverified_context()), der)
        self.assertEqual(self.fingerprint(again), self.fingerprint(server))

    def test_verification_outcomes(self):
        cases = [
            # server switches, host the client asks for, verify code expected (None: verifies)
            ((), "localhost", 18),  # self-signed, not trusted by the system
            (("--tls-issuer", "ca"), "localhost", None),
            (("--tls-issuer", "ca"), "127.0.0.1", None),
            (("--tls-issuer", "ca", "--tls-host", "ftp.example.org"), "localhost", 62),
            (("--tls-issuer", "ca", "--tls-expired"), "localhost", 10),
        ]
        for args, host, code in cases:
            with self.subTest(args=args, host=host):
                server = self.start_tls("explicit", *args)
                context = (ssl.create_default_context() if code == 18
                           else self.verifying(server))
                if code is None:
                    self.assertTrue(self.handshake(server, context, host))
                    continue
                with self.assertRaises(ssl.SSLCertVerificationError) as caught:
                    self.handshake(server, context, host)
                self.assertEqual(caught.exception.verify_code, code)

    def test_certificate_holds_the_names_asked_for(self):
        server = self.start_tls("explicit", "--tls-issuer", "ca", "--tls-host",
                                "as400.example,10.1.2.3")
        text = subprocess.run(["openssl", "x509", "-noout", "-text", "-in",
                               os.path.join(server.tls_dir, "cert.pem")],
                              capture_output=True, text=True, check=True).stdout
        self.assertIn("DNS:as400.example, IP Address:10.1.2.3", text)
        self.assertIn("CN = as400.example", text)
        self.assertIn("Issuer: O = Tarn tests, CN = testftpd local CA", text)
        self.assertEqual(os.stat(os.path.join(server.tls_dir, "key.pem")).st_mode & 0o777, 0o600)


class TlsDataEnds(ServerTestCase):
    def connect_strict(self, server):
        """A TLS client that reports a stream ending without close_notify (Python's own
        context ignores that by default)."""
        context = unverified_context()
        context.options &= ~ssl.OP_IGNORE_UNEXPECTED_EOF
        ftp = self.connect_tls(server, context=context)
        ftp.voidcmd("TYPE I")
        return ftp

    def download(self, ftp, name):
        """RETR over a protected connection that reports an end without close_notify."""
        raw, _ = ftplib.FTP.ntransfercmd(ftp, "RETR " + name)
        conn = ftp.context.wrap_socket(raw, server_hostname="127.0.0.1",
                                       session=ftp.sock.session, suppress_ragged_eofs=False)
        data, ending = b"", None
        while True:
            try:
                chunk = conn.recv(65536)
            except ConnectionResetError:
                ending = "reset"
                break
            except ssl.SSLError as e:
                self.assertIn("EOF", str(e))
                ending = "no close_notify"
                break
            if not chunk:
                break
            data += chunk
        conn.close()
        return data, ending, ftp.getline()

    def test_how_a_protected_download_ends(self):
        content = os.urandom(200000)
        cases = [
            # switches, bytes delivered, how the stream ends, the reply
            ((), content, None, "226 Transfer complete."),
            (("--tls-no-close-notify",), content, "no close_notify", "226 Transfer complete."),
            (("--drop-data-after", "1000"), content[:1000], None,
             "426 Connection closed; transfer aborted."),
            (("--drop-data-after", "1000", "--drop-data-reply", "226", "--tls-no-close-notify"),
             content[:1000], "no close_notify", "226 Transfer complete."),
        ]
        for args, delivered, ending, reply in cases:
            with self.subTest(args=args):
                server = self.start_tls("explicit", *args)
                server.write("f", content)
                got, how, line = self.download(self.connect_strict(server), "f")
                self.assertTrue(got == delivered, (len(got), len(delivered)))
                self.assertEqual((how, line), (ending, reply))

    def test_reset_of_a_protected_download(self):
        server = self.start_tls("explicit", "--drop-data-after", "1000", "--drop-data-reset")
        server.write("f", os.urandom(200000))
        got, how, line = self.download(self.connect_strict(server), "f")
        self.assertLessEqual(len(got), 1000)
        self.assertIn(how, ("reset", "no close_notify"))  # Python tells the two apart badly
        self.assertEqual(line, "426 Connection closed; transfer aborted.")

    def test_session_reuse_can_be_demanded(self):
        for args, reuse, works in (((), False, True),
                                   (("--tls-require-reuse",), True, True),
                                   (("--tls-require-reuse",), False, False)):
            with self.subTest(args=args, reuse=reuse):
                server = self.start_tls("explicit", *args)
                server.write("f", b"data")
                ftp = self.connect_tls(server, reuse=reuse)
                got = io.BytesIO()
                if works:
                    ftp.retrbinary("RETR f", got.write)
                    self.assertEqual(got.getvalue(), b"data")
                    continue
                with self.assertRaises(ftplib.error_perm) as caught:
                    ftp.retrbinary("RETR f", got.write)
                self.assertEqual(str(caught.exception),
                                 "522 SSL connection failed: session reuse required.")


class WireRecorderTool(TlsCase):
    def test_relays_and_records_both_directions(self):
        server = self.start()
        server.write("f", b"listed")
        wire = self.folder()
        relay = subprocess.Popen([os.path.join(SOURCE_DIR, "tools", "testftpd", "wire-recorder"),
                                  "--to", str(server.port), "--record", wire],
                                 stdout=subprocess.PIPE, text=True)
        self.addCleanup(relay.wait)
        self.addCleanup(relay.terminate)
        self.addCleanup(relay.stdout.close)
        port = int(relay.stdout.readline().split()[1])
        ftp = ftplib.FTP(timeout=10)
        ftp.connect("127.0.0.1", port)
        ftp.login("tester", "secret")
        self.assertEqual(ftp.nlst(), ["f"])  # passive: the data goes to the server itself
        ftp.quit()
        up, down = recorded(wire)
        self.assertTrue(up.startswith(b"USER tester\r\nPASS secret\r\n"), up)
        self.assertTrue(up.endswith(b"QUIT\r\n"))
        self.assertTrue(down.startswith(b"220 ") and down.endswith(b"221 Goodbye.\r\n"), down)
        with socket.create_connection(("127.0.0.1", port)) as again:  # still relaying
            self.assertTrue(again.recv(4).startswith(b"220"))


if __name__ == "__main__":
    unittest.main()
