"""start-vsftpd and stop-vsftpd: a vsftpd that curl can download from and upload to in active
mode, in passive mode on request, and over TLS, and that leaves nothing behind."""

import ftplib
import hashlib
import io
import os
import subprocess
import tempfile
import unittest

from testftpd_support import SOURCE_DIR, TlsClient, unverified_context

TOOLS = os.path.join(SOURCE_DIR, "tools", "vsftpd-bench")


def start(*args, details=False):
    out = subprocess.run([os.path.join(TOOLS, "start-vsftpd"), *args], check=True,
                         capture_output=True, text=True, timeout=30).stdout
    values = dict(line.split(" ", 1) for line in out.splitlines())
    found = int(values["PORT"]), values["ROOT"], int(values["PID"])
    return found + (values,) if details else found


def stop(pid):
    return subprocess.run([os.path.join(TOOLS, "stop-vsftpd"), str(pid)],
                          capture_output=True, text=True, timeout=30)


def curl(*args, active=True):
    mode = ["-P", "127.0.0.1"] if active else []
    return subprocess.run(["curl", "-sS", *mode, *args], capture_output=True, timeout=60)


def alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except ProcessLookupError:
        return False


class VsftpdBench(unittest.TestCase):
    def test_download_upload_and_stop(self):
        port, root, pid = start()
        self.addCleanup(lambda: alive(pid) and stop(pid))
        data = os.urandom(3 * 1024 * 1024 + 5)
        with open(os.path.join(root, "file"), "wb") as f:
            f.write(data)
        url = "ftp://127.0.0.1:%d/" % port
        with tempfile.TemporaryDirectory() as local:
            got = os.path.join(local, "got")
            self.assertEqual(curl("-o", got, url + "file").returncode, 0)
            with open(got, "rb") as f:
                self.assertEqual(f.read(), data)
            self.assertEqual(curl("-T", got, url + "up.bin").returncode, 0)
        with open(os.path.join(root, "up.bin"), "rb") as f:
            self.assertEqual(f.read(), data)
        self.assertEqual(stop(pid).returncode, 0)
        self.assertFalse(alive(pid))
        self.assertFalse(os.path.exists(root))

    def test_given_data_folder_is_kept_and_foreign_pids_are_refused(self):
        with tempfile.TemporaryDirectory() as folder:
            port, root, pid = start(folder)
            self.addCleanup(lambda: alive(pid) and stop(pid))
            self.assertEqual(root, os.path.realpath(folder))
            refused = stop(os.getpid())
            self.assertNotEqual(refused.returncode, 0)
            self.assertIn("not a vsftpd started by start-vsftpd", refused.stderr)
            self.assertEqual(curl("-T", __file__, "ftp://127.0.0.1:%d/copy.py" % port)
                             .returncode, 0)
            self.assertEqual(stop(pid).returncode, 0)
            self.assertTrue(os.path.isfile(os.path.join(folder, "copy.py")))

    def test_passive_mode_only_when_asked_for(self):
        for args, works in (((), False), (("--passive",), True)):
            with self.subTest(args=args):
                port, root, pid = start(*args)
                self.addCleanup(lambda pid=pid: alive(pid) and stop(pid))
                with open(os.path.join(root, "f"), "wb") as f:
                    f.write(b"passive")
                got = curl("ftp://127.0.0.1:%d/f" % port, active=False)
                self.assertEqual(got.returncode == 0, works, got.stderr)
                if works:
                    self.assertEqual(got.stdout, b"passive")


class VsftpdBenchTls(unittest.TestCase):
    def start(self, *args):
        port, root, pid, values = start(*args, details=True)
        self.addCleanup(lambda: alive(pid) and stop(pid))
        return port, root, values

    def test_explicit_tls_with_session_reuse_demanded(self):
        port, root, values = self.start("--tls", "--passive")
        data = os.urandom(3 * 1024 * 1024 + 1)
        with open(os.path.join(root, "file"), "wb") as f:
            f.write(data)
        url = "ftp://127.0.0.1:%d/" % port
        got = curl("--ssl-reqd", "-k", url + "file", active=False)
        self.assertEqual((got.returncode, got.stdout == data), (0, True), got.stderr)
        with tempfile.NamedTemporaryFile() as local:
            local.write(data)
            local.flush()
            sent = curl("--ssl-reqd", "-k", "-T", local.name, url + "up.bin", active=False)
            self.assertEqual(sent.returncode, 0, sent.stderr)
        with open(os.path.join(root, "up.bin"), "rb") as f:
            self.assertEqual(f.read(), data)
        self.assertNotEqual(curl(url + "file", active=False).returncode, 0)  # no clear login

        for passive, reuse in ((True, True), (False, True), (True, False)):
            with self.subTest(passive=passive, reuse=reuse):
                ftp = TlsClient(unverified_context(), reuse=reuse)
                self.addCleanup(ftp.close)
                ftp.connect("127.0.0.1", port)
                ftp.login("anonymous", "")
                ftp.prot_p()
                ftp.set_pasv(passive)
                got = io.BytesIO()
                if reuse:
                    ftp.retrbinary("RETR file", got.write)
                    self.assertEqual(got.getvalue(), data)
                    der = ftp.sock.getpeercert(binary_form=True)
                    self.assertEqual(hashlib.sha256(der).hexdigest().upper(),
                                     values["FINGERPRINT"].replace(":", ""))
                else:
                    with self.assertRaises(ftplib.error_perm) as caught:
                        ftp.retrbinary("RETR file", got.write)
                    self.assertIn("session reuse required", str(caught.exception))

    def test_implicit_tls(self):
        port, root, values = self.start("--tls-implicit", "--passive")
        with open(os.path.join(root, "f"), "wb") as f:
            f.write(b"implicit")
        got = curl("-k", "ftps://127.0.0.1:%d/f" % port, active=False)
        self.assertEqual((got.returncode, got.stdout), (0, b"implicit"), got.stderr)
        self.assertTrue(os.path.isfile(values["CERT"]))


if __name__ == "__main__":
    unittest.main()
