"""The helper app on the phone, as reached through an adb forward.

A channel is served on a port only after the helper was told about it
(`am broadcast -n com.velloran.marrowlink/.AdbSyncBroadcastReceiver -d
backup://127.0.0.1:P/KIND`). Every channel starts with "$ready:". A
"device-info" channel then sends "$hello:" with the device's keys; the other
channels answer requests until "$bye:":

  $dload:PATH / $dloadex:B64(PATH),B64(NAME)  -> $file:SIZE, $block:N + bytes
      (each acknowledged by "."), ".", then the desktop's "$file:"; a file
      that does not exist is sent as "$file:0" and "." (empty), one the
      helper may not read gives $error:
  $file:PATH, $block:N + bytes ..., "."       -> "." per block, "$file:" at the end
  $sucmd:COMMAND                              -> $sucmd:STATUS
  anything else                               -> $error:B64(message)

The helper runs as its own app user: it reads and writes shared storage
but not other apps' folders; $sucmd runs as root on rooted phones and
fails with status 127 ("su" missing) elsewhere, and with status 1 when the
user refuses the superuser prompt ("su_denied").

Over WiFi (the phone's "wifi_port" option) the helper's control port takes
one line, the channel address; it answers "1" and serves that channel on
127.0.0.1 and the address's port (one connection), or "0" + B64(reason).

The phone's "helper" option changes it: "error" answers every request (and
the device information) with $error:, "garbage" answers with unreadable
bytes, "stall" sends "$ready:" and never answers, "old" leaves the version
key out of the device information.
"""
import base64
import fcntl
import os
import re
import select
import socket
import sys
import threading

from adb_phone import HELPER_PACKAGE, PhoneGone
from adb_shell import Shell
from adb_wire import Wire

MAX_BLOCK = 8 * 1024 * 1024
STALL_SECONDS = 600
# A job keeps its channel open between requests (while it merges or waits
# for the user), so the helper waits long for the next line.
IDLE_SECONDS = 300


def _b64(text):
    return base64.b64encode(text.encode()).decode()


def _send_line(wire, text):
    wire.send(text.encode() + b"\n")


def hello_text(phone):
    pairs = []
    if phone["helper"] != "old":
        pairs.append(("version", str(phone["helper_version"])))
    pairs += [("model", phone["model"]), ("manufacturer", phone["manufacturer"]),
              ("imei", phone["imei"]), ("uid", phone.device_uid()),
              ("sdk", str(phone["release"])), ("sdk_id", str(phone["sdk"])),
              ("root", "1" if phone["rooted"] else "0")]
    if phone["shared_storage"]:
        pairs.append(("storage1", phone["storage_path"]))
    return "".join("%s=%s;" % kv for kv in pairs if kv[1] != "")


def serve(sock, phone, port):
    # Short lines answer every block: sent at once, not held back for more.
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    wire = Wire(sock, IDLE_SECONDS)
    with phone.lock:
        kind = phone.channels.get(port)
        phone.connections.add(sock)
    try:
        _serve(wire, phone, kind)
    except PhoneGone:
        wire.abort()
        phone.go_away()
    except (EOFError, socket.timeout, OSError, ValueError):
        wire.close()
    except Exception as e:  # a hostile client must not end the emulator
        sys.stderr.write("helper peer: %s: %r\n" % (type(e).__name__, e))
        wire.close()
    finally:
        with phone.lock:
            phone.connections.discard(sock)


def _serve(wire, phone, kind):
    mode = phone["helper"]
    phone.log("helper", "open %s" % kind)
    if mode == "absent" or kind is None:
        wire.close()
        return
    _send_line(wire, "$ready:")
    if mode == "stall":
        wire.sock.settimeout(STALL_SECONDS)
        while wire.sock.recv(65536):
            pass
        wire.close()
        return
    if kind == "device-info":
        if mode == "error":
            _send_line(wire, "$error:" + _b64("Velloran Marrowlink failed to read the device."))
        elif mode == "garbage":
            wire.send(b"\x00\xff\xfegarbage\x01\n")
        else:
            _send_line(wire, "$hello:" + hello_text(phone))
        _wait_for_bye(wire, phone)
        return
    while True:
        line = wire.recv_line_alone().decode("utf-8", "replace")
        phone.log("helper", line)
        if line.startswith("$bye:"):
            wire.close()
            return
        if mode == "garbage":
            wire.send(b"\x00\xff\xfe??\n")
            continue
        if mode == "error":
            _send_line(wire, "$error:" + _b64("Velloran Marrowlink: request failed."))
            continue
        if line.startswith("$error:"):
            continue
        if line.startswith("$dloadex:"):
            folder, _, name = line[len("$dloadex:"):].partition(",")
            try:
                folder = base64.b64decode(folder).decode()
                name = base64.b64decode(name).decode()
            except (ValueError, UnicodeDecodeError):
                _send_line(wire, "$error:" + _b64("bad dloadex argument"))
                continue
            _download(wire, phone, folder.rstrip("/") + "/" + name if name else folder)
        elif line.startswith("$dload:"):
            _download(wire, phone, line[len("$dload:"):])
        elif line.startswith("$file:"):
            _upload(wire, phone, line[len("$file:"):])
        elif line.startswith("$sucmd:"):
            _send_line(wire, "$sucmd:%d" % _su(phone, line[len("$sucmd:"):]))
        else:
            _send_line(wire, "$error:" + _b64("unknown command: " + line[:80]))


def _wait_for_bye(wire, phone):
    try:
        line = wire.recv_line_alone()
        phone.log("helper", line.decode("utf-8", "replace"))
    except (EOFError, socket.timeout, OSError, ValueError):
        pass
    wire.close()


def _su(phone, command):
    if not phone["rooted"] or phone["su_denied"]:
        status = 1 if phone["rooted"] else 127
        phone.log("helper-su", command, status=status)
        return status
    status, _, _ = Shell(phone, "root").run(command)
    phone.log("helper-su", command, status=status)
    return status


def _readable(phone, path):
    host = phone.host_path(path)
    if host is None or not phone.may_access(HELPER_PACKAGE, path):
        return None, "%s: open failed: EACCES (Permission denied)" % path
    if os.path.isdir(host):
        return None, "%s: open failed: EISDIR (Is a directory)" % path
    return host, None


def _expect(wire, phone, wanted):
    line = wire.recv_line_alone().decode("utf-8", "replace")
    phone.log("helper", line)
    if line != wanted and not line.startswith(wanted):
        raise ValueError("expected %r, got %r" % (wanted, line))


def _download(wire, phone, path):
    host, error = _readable(phone, path)
    if error:
        _send_line(wire, "$error:" + _b64(error))
        return
    if not os.path.isfile(host):
        _send_line(wire, "$file:0")
        _send_line(wire, ".")
        _expect(wire, phone, "$file:")
        return
    size = os.path.getsize(host)
    _send_line(wire, "$file:%d" % size)
    block = max(1, int(phone["block_size"]))
    # The system moves each block from the file to the socket (sendfile):
    # the phone's share of the work stays small beside the desktop's.
    with open(host, "rb", buffering=0) as f:
        offset = 0
        while offset < size:
            length = min(block, size - offset)
            allowed = phone.allow(length)
            wire.send(b"$block:%d\n" % length)
            if allowed and wire.sock.sendfile(f, offset, allowed) != allowed:
                raise ValueError("%s changed while it was sent" % path)
            if allowed < length:
                raise PhoneGone()
            offset += length
            _expect(wire, phone, ".")
    _send_line(wire, ".")
    _expect(wire, phone, "$file:")


class _SplicedFile:
    """Receives blocks into a file through a pipe. The system hands the
    socket's bytes to the pipe without copying them, and a thread of its own
    moves them from the pipe into the file while the next block arrives: the
    bytes are copied once on the phone's side, as little of the shared
    processors as the emulated phone can take. close() waits until all
    received bytes are in the file, closes it and raises the first failed
    write."""

    PIPE_BYTES = 1 << 20

    def __init__(self, target):
        self._file = open(target, "wb", buffering=0)
        self._read_end, self._write_end = os.pipe()
        try:
            fcntl.fcntl(self._write_end, fcntl.F_SETPIPE_SZ, self.PIPE_BYTES)
        except OSError:
            pass  # a smaller pipe only means more, shorter moves
        self._ready = threading.Condition()
        self._owed = 0          # bytes in the pipe, not yet in the file
        self._closing = False
        self._error = None
        self._thread = threading.Thread(target=self._drain, daemon=True)
        self._thread.start()

    def receive(self, wire, length):
        """Moves the next `length` bytes of the connection into the file."""
        if self._error is not None:
            raise self._error
        # Every line is read alone (recv_line_alone), so all of the block is
        # still in the socket.
        if wire.buf:
            raise ValueError("block bytes were read with a line")
        left = length
        sock = wire.sock.fileno()
        waiting = select.poll()
        waiting.register(sock, select.POLLIN)
        wait_ms = int(wire.sock.gettimeout() * 1000)
        while left:
            try:
                moved = os.splice(sock, self._write_end, left)
            except BlockingIOError:
                if not waiting.poll(wait_ms):
                    raise socket.timeout("no block data")
                continue
            if not moved:
                raise EOFError()
            self._owe(moved)
            left -= moved

    def close(self):
        with self._ready:
            self._closing = True
            self._ready.notify()
        self._thread.join(IDLE_SECONDS)
        self._file.close()
        os.close(self._read_end)
        os.close(self._write_end)
        if self._error is not None:
            raise self._error

    def _owe(self, count):
        with self._ready:
            self._owed += count
            self._ready.notify()

    def _drain(self):
        while True:
            with self._ready:
                while not self._owed and not self._closing:
                    self._ready.wait()
                if not self._owed:
                    return
                owed = self._owed
            try:
                if self._error is None:
                    moved = os.splice(self._read_end, self._file.fileno(), owed)
                else:
                    moved = len(os.read(self._read_end, owed))  # dropped
            except OSError as e:
                self._error = e
                continue
            with self._ready:
                self._owed -= moved


def _upload(wire, phone, path):
    """Receives a file; blocks are written as they come, so a dropped
    connection leaves a partial file, as the helper app does."""
    host = phone.host_path(path)
    problem = None
    if host is None or not phone.may_access(HELPER_PACKAGE, path):
        problem = "%s: open failed: EACCES (Permission denied)" % path
    elif not os.path.isdir(os.path.dirname(host)) or os.path.isdir(host):
        problem = "%s: open failed: ENOENT (No such file or directory)" % path
    if problem:
        _send_line(wire, "$error:" + _b64(problem))
    existed = host is not None and os.path.exists(host)
    target = _SplicedFile(host) if not problem else None
    size = 0
    try:
        while True:
            line = wire.recv_line_alone().decode("utf-8", "replace")
            if line == ".":
                break
            if not line.startswith("$block:") or not line[7:].isdigit() or \
                    int(line[7:]) > MAX_BLOCK:
                phone.log("helper", line[:80])
                _send_line(wire, "$error:" + _b64("invalid command(.,$block:), " + line[:80]))
                return
            length = int(line[7:])
            # A phone that goes away within this block keeps none of it.
            if phone.allow(length) < length:
                raise PhoneGone()
            if target is None:
                # Refused: read (exactly, nothing past it) and dropped.
                wire.recv_into_exact(memoryview(bytearray(length)))
                continue
            target.receive(wire, length)
            # The block is acknowledged once it is here; the desktop sends
            # the next one while this one is written.
            _send_line(wire, ".")
            size += length
    finally:
        if target is not None:
            try:
                target.close()
            finally:
                if not existed:
                    phone.created(HELPER_PACKAGE, path)
    if problem:
        return
    phone.log("helper-upload", path, size=size)
    _send_line(wire, "$file:")

WIFI_ACCEPT_SECONDS = 30


def start_wifi(phone):
    """Listens on the phone's WiFi control port; returns the listener."""
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", int(phone["wifi_port"])))
    listener.listen(8)
    threading.Thread(target=_wifi_loop, args=(listener, phone), daemon=True).start()
    return listener


def _wifi_loop(listener, phone):
    while True:
        try:
            client, _ = listener.accept()
        except OSError:
            return
        threading.Thread(target=_wifi_control, args=(client, phone), daemon=True).start()


def _wifi_control(client, phone):
    wire = Wire(client, 10)
    try:
        if not phone.present or not phone.helper_installed():
            wire.close()
            return
        url = wire.recv_line_alone().decode("utf-8", "replace")
        phone.log("wifi", url)
        match = re.match(r"^[a-z]+://[^/:]+:(\d+)/([\w-]+)$", url)
        if phone["helper"] == "error" or not match:
            _send_line(wire, "0" + _b64("cannot serve " + url[:80]))
            wire.close()
            return
        port = int(match.group(1))
        channel = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        channel.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            channel.bind(("127.0.0.1", port))
        except OSError as e:
            channel.close()
            _send_line(wire, "0" + _b64("port %d: %s" % (port, e.strerror)))
            wire.close()
            return
        channel.listen(1)
        with phone.lock:
            phone.channels[port] = match.group(2)
        _send_line(wire, "1")
        wire.close()
        channel.settimeout(WIFI_ACCEPT_SECONDS)
        try:
            sock, _ = channel.accept()
        finally:
            channel.close()
        serve(sock, phone, port)
    except (EOFError, socket.timeout, OSError, ValueError):
        wire.close()
