"""A recording TCP relay: what crossed the wire between a client and a server, byte for byte.

The relay listens on 127.0.0.1 and hands each connection on to the target port; every byte
is forwarded unchanged and appended to one of two files in the record folder:
client-to-server.bin and server-to-client.bin (all connections, in arrival order). A test
reads them to see what travelled in clear, for instance that a password never did. Each
connection runs on two threads of its own, beside whatever loop the process runs.
"""

import os
import socket
import threading


class WireRecorder:
    def __init__(self, target_port, folder, port=0):
        os.makedirs(folder, exist_ok=True)
        self._target = ("127.0.0.1", target_port)
        self._lock = threading.Lock()
        self._files = {
            "up": open(os.path.join(folder, "client-to-server.bin"), "ab", buffering=0),
            "down": open(os.path.join(folder, "server-to-client.bin"), "ab", buffering=0),
        }
        self._listener = socket.create_server(("127.0.0.1", port))
        self.port = self._listener.getsockname()[1]

    def start(self):
        threading.Thread(target=self._accept, daemon=True).start()
        return self

    def _accept(self):
        while True:
            client, _ = self._listener.accept()
            try:
                server = socket.create_connection(self._target)
            except OSError:
                client.close()
                continue
            pair = _Pair(client, server)
            for source, sink, name in ((client, server, "up"), (server, client, "down")):
                threading.Thread(target=self._pump, args=(pair, source, sink, name),
                                 daemon=True).start()

    def _pump(self, pair, source, sink, name):
        """Copies one direction until its end, which it hands on as a half close."""
        try:
            while True:
                data = source.recv(65536)
                if not data:
                    break
                with self._lock:
                    self._files[name].write(data)
                sink.sendall(data)
            sink.shutdown(socket.SHUT_WR)
        except OSError:
            pair.abort()
        pair.done()


class _Pair:
    """The two sockets of one relayed connection, closed when both directions are done."""

    def __init__(self, client, server):
        self._sockets = (client, server)
        self._open = 2
        self._lock = threading.Lock()

    def abort(self):
        for s in self._sockets:
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def done(self):
        with self._lock:
            self._open -= 1
            last = self._open == 0
        if last:
            for s in self._sockets:
                s.close()
