"""Data connections, and the data faults that act on them.

`DataConnection` is pyftpdlib's throttled data channel with the hooks of the data switches:
a transfer can be cut after N bytes (closed or reset), end early but cleanly, fail right after
its start reply, announce its completion before it is done, or never move a byte.

`PortRequest` stands in for pyftpdlib's active connector when PORT must not connect at once:
either the connection is made late (and a client that has closed its port by then gets a late
425), or it is deferred to the transfer command, so that a transfer can go without any data
connection at all.
"""

import logging
import os
import socket
import struct

from pyftpdlib.handlers import ActiveDTP, DTPHandler, ThrottledDTPHandler

logger = logging.getLogger("pyftpdlib")

COMPLETED = "226 Transfer complete."


class DataConnection(ThrottledDTPHandler):
    """A data connection that the data switches can shape, cut or stall."""

    def __init__(self, sock, cmd_channel):
        self._faults = cmd_channel.faults
        self._cut_after = self._faults.claim_data_cut()
        self._cut_pending = False
        self._send_budget = None  # bytes left before a short download ends
        self._completion_sent = False
        self._stalled = False
        super().__init__(sock, cmd_channel)

    def use_sendfile(self):
        if self._faults.shapes_data() or getattr(self, "_ssl_requested", False):
            return False
        return DTPHandler.use_sendfile(self)

    # --- the start of a transfer: where the start faults act

    def push(self, data):
        if self._start(self.cmd_channel.transfer_verb):
            super().push(data)

    def push_with_producer(self, producer):
        if self._start(self.cmd_channel.transfer_verb, producer):
            super().push_with_producer(producer)

    def enable_receiving(self, type, cmd):
        if self._start(cmd):
            super().enable_receiving(type, cmd)

    def close_when_done(self):
        if not self._stalled:
            super().close_when_done()

    def _start(self, verb, producer=None):
        """Applies the switches that act when the transfer `verb` begins; False when the
        transfer must not run as usual."""
        faults = self._faults
        if faults.applies(faults.no_data, verb):
            self._stall()
            return False
        if faults.applies(faults.fail_after_start, verb):
            # the caller sees the connection gone (the session forgets it on close)
            self._resp = ("550 File unavailable; transfer failed.", logger.info)
            self.close()
            return False
        if faults.short_downloads and verb == "RETR" and producer is not None:
            size = os.fstat(producer.file.fileno()).st_size - producer.file.tell()
            self._send_budget = max(0, size - faults.short_downloads)
        if faults.applies(faults.early, verb):
            self._completion_sent = True
            self.cmd_channel.respond(COMPLETED)
        return True

    def _stall(self):
        """Holds the connection open and idle: the client sees neither data nor a close.
        After the switch's wait the transfer ends with 425."""
        self._stalled = self._initialized = True
        self.del_channel()
        wait = self._faults.no_data_wait
        if wait is not None:
            self._resp = ("425 Can't open data connection.", logger.info)
            self.call_later(wait, self.close)

    # --- the end of a transfer

    def close(self):
        if self._completion_sent and self._resp and self._resp[0].startswith("226"):
            self._resp = ()  # the completion reply went out at the start
        super().close()

    def _cut(self):
        """Ends the connection after the switch's byte count: closed as at the end of a
        transfer, or reset."""
        if self._closed:
            return
        if self._faults.drop_data_reply == "226":
            self._resp = (COMPLETED, logger.info)
        else:
            self._resp = ("426 Connection closed; transfer aborted.", logger.info)
        if self._faults.drop_data_reset:
            self.reset()
        else:
            self.close()

    def reset(self):
        """Closes with a reset (RST), dropping what is still queued."""
        self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.close_abruptly()

    def close_abruptly(self):
        """Closes without the goodbye of a protocol layered on the connection."""
        self.close()

    def _end_short(self):
        """Ends a short download as if the file were done: a clean close and 226."""
        if not self._closed:
            self.discard_buffers()
            self.handle_close()

    def _later(self, function):
        if not self._cut_pending:
            self._cut_pending = True
            self.ioloop.call_later(0, function, _errback=self.handle_error)

    def send(self, data):
        if self._cut_after is not None:
            allowed = self._cut_after - self.tot_bytes_sent
            if allowed <= 0:
                self._later(self._cut)
                return 0
            data = data[:allowed]
        if self._send_budget is not None:
            if self._send_budget <= 0:
                self._later(self._end_short)
                return 0
            data = data[:self._send_budget]
        sent = super().send(data)
        if self._send_budget is not None:
            self._send_budget -= sent
        return sent

    def recv(self, buffer_size):
        if self._cut_after is not None:
            allowed = self._cut_after - self.tot_bytes_received
            if allowed <= 0:
                self._cut()
                return b""
            buffer_size = min(buffer_size, allowed)
        return super().recv(buffer_size)


class QuietConnector(ActiveDTP):
    """Connects to the client's data port for a transfer command: PORT has been answered
    already, so success says nothing and failure is the transfer's 425."""

    def handle_connect(self):
        self.del_channel()
        if self._idler is not None and not self._idler.cancelled:
            self._idler.cancel()
        if not self.cmd_channel.connected:
            return self.close()
        err = self.socket.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR)
        if err != 0:
            raise socket.error(err)
        handler = self.cmd_channel.dtp_handler(self.socket, self.cmd_channel)
        self.cmd_channel.data_channel = handler
        self.cmd_channel._on_dtp_connection()

    def handle_close(self):
        if not self._closed:
            self.close()
            if self.cmd_channel.connected:
                self.cmd_channel.drop_queued_transfer()
                self.cmd_channel.respond("425 Can't open data connection.")


class PortRequest:
    """The data connection a PORT (or EPRT) asked for, made late or only for the transfer.

    Takes the place of pyftpdlib's connector in the session (`_dtp_connector`), which closes
    it when the next PORT or PASV comes or the session ends."""

    def __init__(self, ip, port, session):
        self._session, self._address = session, (ip, port)
        self._connector = None
        self._timer = None
        self.deferred = session.faults.defers_port()
        if self.deferred:
            session.respond("200 Active data connection established.")
        else:
            self._timer = session.ioloop.call_later(
                session.faults.port_connect_delay, self._connect_late,
                _errback=session.handle_error)

    def _connect_late(self):
        self._timer = None
        session = self._session
        if not session.connected:
            return
        if session.faults.port_unreachable:
            session._dtp_connector = None
            session.respond("425 Can't connect to specified address.")
            return
        self._connector = ActiveDTP(*self._address, session)

    def transfer(self, verb):
        """The transfer command `verb` has queued its data: connect for it, or leave it
        without a connection when the switch says so."""
        faults, session = self._session.faults, self._session
        self.deferred = False
        if not faults.applies(faults.no_data, verb):
            self._connector = QuietConnector(*self._address, session)
        elif faults.no_data_wait is not None:
            self._timer = session.ioloop.call_later(faults.no_data_wait, self._give_up,
                                                    _errback=session.handle_error)

    def _give_up(self):
        self._timer = None
        if self._session.connected:
            self._session.drop_queued_transfer()
            self._session.respond("425 Can't open data connection.")

    def close(self):
        if self._timer is not None and not self._timer.cancelled:
            self._timer.cancel()
        self._timer = None
        if self._connector is not None:
            self._connector.close()
