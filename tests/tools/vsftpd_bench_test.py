"""start-vsftpd and stop-vsftpd: a vsftpd that curl can download from and upload to in active
mode, and that leaves nothing behind."""

import os
import subprocess
import tempfile
import unittest

from testftpd_support import SOURCE_DIR

TOOLS = os.path.join(SOURCE_DIR, "tools", "vsftpd-bench")


def start(*args):
    out = subprocess.run([os.path.join(TOOLS, "start-vsftpd"), *args], check=True,
                         capture_output=True, text=True, timeout=30).stdout
    values = dict(line.split(" ", 1) for line in out.splitlines())
    return int(values["PORT"]), values["ROOT"], int(values["PID"])


def stop(pid):
    return subprocess.run([os.path.join(TOOLS, "stop-vsftpd"), str(pid)],
                          capture_output=True, text=True, timeout=30)


def curl(*args):
    return subprocess.run(["curl", "-sS", "-P", "127.0.0.1", *args],
                          capture_output=True, timeout=60)


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


if __name__ == "__main__":
    unittest.main()
