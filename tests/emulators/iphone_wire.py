"""Byte streams of the emulated iPhone.

A socket read with an idle limit (every read polls the stop event), an
optional TLS layer kept in memory so the emulator decides which bytes go on
the wire (a lockdown session can turn TLS off again mid-stream), and the
32-bit big-endian length framing of the plist services.
"""
import plistlib
import socket
import ssl
import struct
import time

MAX_PLIST = 4 << 20
POLL = 0.5


class Closed(Exception):
    """The peer went away, sent something unusable, or the emulator stops."""


class Conn:
    def __init__(self, sock, stop, idle):
        self.sock = sock
        self.stop = stop
        self.idle = idle
        self.buf = bytearray()
        self.tls = None
        self.incoming = None
        self.outgoing = None
        self.skip_alert = False
        sock.settimeout(POLL)

    # -- raw socket -------------------------------------------------------
    def _recv_raw(self):
        deadline = time.monotonic() + self.idle
        while True:
            if self.stop.is_set():
                raise Closed("emulator stopping")
            try:
                data = self.sock.recv(65536)
            except socket.timeout:
                if time.monotonic() > deadline:
                    raise Closed("idle too long")
                continue
            except OSError as e:
                raise Closed(str(e))
            if not data:
                raise Closed("peer closed")
            return data

    def _sendall(self, data):
        try:
            self.sock.settimeout(self.idle)
            self.sock.sendall(data)
        except OSError as e:
            raise Closed(str(e))
        finally:
            try:
                self.sock.settimeout(POLL)
            except OSError:
                pass

    # -- plaintext stream -------------------------------------------------
    def _fill(self):
        if self.tls is None:
            self.buf += self._recv_raw()
            return
        while True:
            try:
                data = self.tls.read(65536)
            except ssl.SSLWantReadError:
                self._flush_tls()
                self.incoming.write(self._recv_raw())
                continue
            except ssl.SSLError as e:
                raise Closed("tls: %s" % e)
            if not data:
                raise Closed("tls closed")
            self.buf += data
            return

    def recv_exact(self, n):
        while len(self.buf) < n:
            self._fill()
        out = bytes(self.buf[:n])
        del self.buf[:n]
        return out

    def send(self, data):
        if self.tls is not None:
            try:
                self.tls.write(data)
            except ssl.SSLError as e:
                raise Closed("tls: %s" % e)
            self._flush_tls()
        else:
            self._sendall(data)

    def hold(self, seconds=None):
        """Answers nothing more: waits until the peer gives up, the idle
        limit passes, or after `seconds` when given; then the link closes."""
        end = time.monotonic() + (float(seconds) if seconds else self.idle)
        while time.monotonic() < end and not self.stop.is_set():
            try:
                if not self.sock.recv(65536):
                    break
            except socket.timeout:
                continue
            except OSError:
                break
        raise Closed("held, then closed")

    def close(self):
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()

    # -- TLS --------------------------------------------------------------
    def _flush_tls(self):
        pending = self.outgoing.read()
        if pending:
            self._sendall(pending)

    def start_tls(self, context):
        self.incoming = ssl.MemoryBIO()
        self.outgoing = ssl.MemoryBIO()
        if self.buf:
            self.incoming.write(bytes(self.buf))
            self.buf.clear()
        self.tls = context.wrap_bio(self.incoming, self.outgoing, server_side=True)
        for _ in range(1000):
            try:
                self.tls.do_handshake()
                break
            except ssl.SSLWantReadError:
                self._flush_tls()
                self.incoming.write(self._recv_raw())
            except ssl.SSLError as e:
                raise Closed("tls handshake: %s" % e)
        else:
            raise Closed("tls handshake never ended")
        self._flush_tls()

    def stop_tls(self):
        """Back to plain text without sending close_notify; the client's own
        close_notify that follows is skipped by the next frame read."""
        leftover = self.incoming.read()
        self.tls = None
        self.buf += leftover
        self.skip_alert = True

    def _skip_tls_alert(self):
        # TLS 1.2 sends the alert as record type 21, TLS 1.3 wraps it in an
        # application-data record (23). A plain frame never starts like
        # that: its length would be over 350 MB.
        self.skip_alert = False
        for _ in range(4):
            while len(self.buf) < 5:
                self._fill()
            if self.buf[0] not in (0x15, 0x17) or self.buf[1] != 0x03:
                return
            length = struct.unpack(">H", bytes(self.buf[3:5]))[0]
            self.recv_exact(5 + length)
            if not self.buf:
                return

    # -- plist framing ----------------------------------------------------
    def recv_plist(self, limit=MAX_PLIST):
        if self.skip_alert:
            self._skip_tls_alert()
        n = struct.unpack(">I", self.recv_exact(4))[0]
        if n == 0 or n > limit:
            raise Closed("unusable frame length %d" % n)
        data = self.recv_exact(n)
        try:
            return plistlib.loads(data)
        except Exception as e:  # any parse failure of a peer's bytes
            raise Closed("unreadable plist: %s" % e)

    def send_plist(self, obj, binary=False):
        fmt = plistlib.FMT_BINARY if binary else plistlib.FMT_XML
        data = plistlib.dumps(obj, fmt=fmt)
        self.send(struct.pack(">I", len(data)) + data)

    def send_hostile(self, kind, seconds=None):
        """A framed answer no client should trust, then silence."""
        if kind == "huge_length":
            self.send(struct.pack(">I", 0xFFFFFFF0) + b"<?xml version")
        elif kind == "zero_length":
            self.send(struct.pack(">I", 0))
        elif kind == "length_only":
            self.send(struct.pack(">I", 200))
        else:  # garbage
            self.send(struct.pack(">I", 16) + b"\x00not a plist!!\xff")
        self.hold(seconds)
