"""Socket framing shared by the adb server side and the helper peer."""
import socket
import time

READ_TIMEOUT = 30.0
DRAIN_SECONDS = 2.0
MAX_REQUEST = 64 * 1024


class Wire:
    """A client connection with a read buffer. Reads time out after
    READ_TIMEOUT seconds (socket.timeout); a closed peer raises EOFError."""

    def __init__(self, sock, timeout=READ_TIMEOUT):
        self.sock = sock
        self.buf = bytearray()
        sock.settimeout(timeout)

    def _fill(self):
        chunk = self.sock.recv(65536)
        if not chunk:
            raise EOFError()
        self.buf += chunk

    def recv_exact(self, n):
        while len(self.buf) < n:
            self._fill()
        data = bytes(self.buf[:n])
        del self.buf[:n]
        return data

    def recv_into_exact(self, view):
        """Fills the writable memoryview `view`: bytes already buffered
        first, the rest straight from the socket without further copies."""
        n = len(view)
        taken = min(n, len(self.buf))
        if taken:
            view[:taken] = self.buf[:taken]
            del self.buf[:taken]
        while taken < n:
            got = self.sock.recv_into(view[taken:], n - taken)
            if not got:
                raise EOFError()
            taken += got

    def recv_line_alone(self, limit=MAX_REQUEST):
        """One line, like recv_line, but nothing after its line feed is
        read: what follows stays in the socket for the caller to take."""
        while b"\n" not in self.buf:
            if len(self.buf) > limit:
                raise ValueError("line too long")
            ahead = self.sock.recv(256, socket.MSG_PEEK)
            if not ahead:
                raise EOFError()
            end = ahead.find(b"\n")
            self.buf += self.sock.recv(len(ahead) if end < 0 else end + 1)
        return self.recv_line(limit)

    def recv_some(self, limit=65536):
        if not self.buf:
            self._fill()
        data = bytes(self.buf[:limit])
        del self.buf[:limit]
        return data

    def recv_line(self, limit=MAX_REQUEST):
        """One line without its line feed (carriage returns dropped)."""
        while b"\n" not in self.buf:
            if len(self.buf) > limit:
                raise ValueError("line too long")
            self._fill()
        end = self.buf.index(b"\n")
        line = bytes(self.buf[:end]).replace(b"\r", b"")
        del self.buf[:end + 1]
        return line

    def read_request(self):
        """An adb request: 4 hex digits of length and the payload."""
        head = self.recv_exact(4)
        try:
            length = int(head, 16)
        except ValueError:
            raise ValueError("bad request length %r" % head)
        if length > MAX_REQUEST:
            raise ValueError("request too long")
        return self.recv_exact(length).decode("utf-8", "replace")

    def send(self, data):
        self.sock.sendall(data)

    def send_parts(self, *parts):
        """Sends the parts in order, gathered by the system (no joined copy)."""
        views = [memoryview(p).cast("B") for p in parts if len(p)]
        while views:
            sent = self.sock.sendmsg(views)
            while views and sent >= len(views[0]):
                sent -= len(views[0])
                views.pop(0)
            if sent:
                views[0] = views[0][sent:]

    def okay(self):
        self.send(b"OKAY")

    def fail(self, message):
        data = message.encode()
        self.send(b"FAIL" + b"%04x" % len(data) + data)

    def reply(self, payload):
        """OKAY and a length-prefixed answer."""
        data = payload.encode() if isinstance(payload, str) else payload
        self.send(b"OKAY" + b"%04x" % len(data) + data)

    def finish(self):
        """Half-closes, lets the client read to the end, then closes; unread
        client data would otherwise turn the close into a reset."""
        try:
            self.sock.shutdown(socket.SHUT_WR)
            deadline = time.monotonic() + DRAIN_SECONDS
            self.sock.settimeout(0.2)
            while time.monotonic() < deadline:
                try:
                    if not self.sock.recv(65536):
                        break
                except socket.timeout:
                    continue
        except OSError:
            pass
        self.close()

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass

    def abort(self):
        """Drops the connection at once, as a phone that was unplugged."""
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.close()
