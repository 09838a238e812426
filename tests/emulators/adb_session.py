"""One client connection of the emulated adb server: host requests,
transport selection and the device services."""
import re
import socket
import struct
import sys
import threading

import adb_backup
import adb_helper_peer
import adb_sync
from adb_commands import install_apk
from adb_phone import PhoneGone
from adb_shell import Shell
from adb_shell_parse import ParseError, Tokenizer
from adb_wire import Wire

PROTOCOL_VERSION = "0029"
MAX_INSTALL = 256 * 1024 * 1024
CONFIRM_SECONDS = 120  # a phone's backup prompt gives up after a while too


class Session:
    def __init__(self, sock, registry):
        self.wire = Wire(sock)
        self.registry = registry
        self.phone = None

    def run(self):
        try:
            while True:
                request = self.wire.read_request()
                self.registry.log(request)
                if self.phone is not None:
                    self.phone.log("service", request)
                if not self.dispatch(request):
                    return
        except PhoneGone:
            self.wire.abort()
            if self.phone is not None:
                self.phone.go_away()
        except (EOFError, socket.timeout, OSError, ValueError):
            self.wire.close()
        except Exception as e:  # a hostile client must not end the server
            sys.stderr.write("adb emulator: %s: %r\n" % (type(e).__name__, e))
            self.wire.close()

    # Returns True when the connection goes on with another request.
    def dispatch(self, request):
        if request.startswith("host"):
            return self.host(request)
        if self.phone is None:
            phone, error = self.registry.select("any")
            if error:
                self.wire.fail(error)
                self.wire.finish()
                return False
            self.phone = phone
        self.device_service(request)
        return False

    # -- host requests --------------------------------------------------------
    def host(self, request):
        prefix, _, rest = request.partition(":")
        if prefix == "host-serial":
            serial, _, rest = _split_serial(rest)
            return self.host_on(("serial", serial), rest)
        if prefix == "host-transport-id":
            tid, _, rest = rest.partition(":")
            return self.host_on(("id", tid), rest)
        if prefix == "host-usb":
            return self.host_on(("usb", None), rest)
        if prefix == "host-local":
            return self.host_on(("local", None), rest)
        if rest.startswith("tport:") or rest.startswith("transport"):
            return self.transport(rest)
        if rest == "version":
            self.wire.reply(PROTOCOL_VERSION)
        elif rest in ("devices", "devices-l"):
            self.wire.reply(self.device_list(rest == "devices-l"))
        elif rest == "kill":
            self.wire.okay()
        elif rest == "list-forward":
            self.wire.reply(self.registry.forward_list())
        elif rest == "killforward-all":
            self.registry.drop_forwards()
            self.wire.send(b"OKAYOKAY")
        elif rest.startswith("killforward:"):
            self.kill_forward(rest[len("killforward:"):])
        elif self.phone is not None:
            return self.host_on(None, rest)
        else:
            return self.host_on(("any", None), rest)
        self.wire.finish()
        return False

    def host_on(self, selector, rest):
        """A host request about one phone (by selector, or the chosen one)."""
        any_state = rest in ("get-state", "get-serialno", "get-devpath")
        phone = self.phone
        if selector is not None:
            phone, error = self.registry.select(selector[0], selector[1], any_state)
            if error:
                self.wire.fail(error)
                self.wire.finish()
                return False
        if rest == "features":
            self.wire.reply(phone["features"])
        elif rest == "get-state":
            self.wire.reply(phone["state"])
        elif rest == "get-serialno":
            self.wire.reply(phone.serial)
        elif rest == "get-devpath":
            self.wire.reply("usb:1-1")
        elif rest.startswith("forward:"):
            self.forward(phone, rest[len("forward:"):])
        elif rest.startswith("killforward:"):
            self.kill_forward(rest[len("killforward:"):])
        else:
            self.wire.fail("unknown host service")
        self.wire.finish()
        return False

    def transport(self, rest):
        tport = rest.startswith("tport:")
        kind = rest[len("tport:"):] if tport else rest[len("transport"):].lstrip(":-")
        if kind.startswith("serial:") or (not tport and rest.startswith("transport:")):
            selector = ("serial", kind[len("serial:"):] if kind.startswith("serial:") else kind)
        elif kind.startswith("id:"):
            selector = ("id", kind[3:])
        elif kind == "usb":
            selector = ("usb", None)
        elif kind == "local":
            selector = ("local", None)
        else:
            selector = ("any", None)
        phone, error = self.registry.select(*selector)
        if error:
            self.wire.fail(error)
            self.wire.finish()
            return False
        self.phone = phone
        self.wire.okay()
        if tport:
            self.wire.send(struct.pack("<Q", phone.transport_id))
        return True

    def device_list(self, long_form):
        lines = []
        for phone in self.registry.listed():
            if not long_form:
                lines.append("%s\t%s\n" % (phone.serial, phone["state"]))
                continue
            line = "%-22s %s usb:1-%d" % (phone.serial, phone["state"], phone.transport_id)
            if phone["state"] == "device":
                line += " product:%s model:%s device:%s" % (
                    phone["product"], re.sub(r"[^\w.-]", "_", phone["model"]), phone["device"])
            lines.append(line + " transport_id:%d\n" % phone.transport_id)
        return "".join(lines)

    def forward(self, phone, request):
        norebind = request.startswith("norebind:")
        if norebind:
            request = request[len("norebind:"):]
        match = re.match(r"^tcp:(\d+);tcp:(\d+)$", request)
        if not match:
            self.wire.fail("cannot forward '%s': only tcp:PORT;tcp:PORT is emulated" % request)
            return
        local, remote = int(match.group(1)), int(match.group(2))
        if norebind and local in self.registry.forwards:
            self.wire.fail("cannot rebind existing socket")
            return
        self.registry.remove_forward(local)
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            listener.bind(("127.0.0.1", local))
            listener.listen(16)
        except OSError as e:
            listener.close()
            self.wire.fail("cannot bind listener: %s" % e.strerror)
            return
        actual = listener.getsockname()[1]
        self.registry.add_forward(actual, phone, remote, listener)
        phone.log("forward", "tcp:%d;tcp:%d" % (actual, remote))
        threading.Thread(target=_accept_forward, args=(listener, phone, remote, self.registry),
                         daemon=True).start()
        self.wire.send(b"OKAYOKAY")
        if local == 0:
            self.wire.send(b"%04x%d" % (len(str(actual)), actual))

    def kill_forward(self, request):
        match = re.match(r"^tcp:(\d+)$", request)
        if match and self.registry.remove_forward(int(match.group(1))):
            self.wire.send(b"OKAYOKAY")
        else:
            self.wire.okay()
            self.wire.fail("listener '%s' not found" % request)

    # -- device services ------------------------------------------------------
    def device_service(self, request):
        phone = self.phone
        phone.check_present()
        with phone.lock:
            phone.connections.add(self.wire.sock)
        try:
            self._device_service(request)
        finally:
            with phone.lock:
                phone.connections.discard(self.wire.sock)

    def _device_service(self, request):
        phone, wire = self.phone, self.wire
        if request.startswith("shell"):
            options, _, command = request.partition(":")
            self.shell("v2" in options.split(","), command)
        elif request.startswith("exec:"):
            self.exec_out(request[len("exec:"):])
        elif request.startswith("abb_exec:"):
            self.abb_exec(request[len("abb_exec:"):].split("\0"))
        elif request == "sync:":
            wire.okay()
            adb_sync.serve(wire, phone)
            wire.finish()
        elif request.startswith("backup:"):
            wire.okay()
            if self.user_agrees("backup"):
                archive = adb_backup.make_archive(phone, _words(request[len("backup:"):]))
                _send_counted(wire, phone, archive)
            phone.check_present()
            wire.finish()
        elif request == "restore:":
            wire.okay()
            adb_backup.receive_and_restore(wire, phone, self.user_agrees("restore"))
            phone.check_present()
            wire.finish()
        elif request.startswith("tcp:"):
            port = int(request[4:]) if request[4:].isdigit() else -1
            if port not in phone.channels:
                wire.fail("connection refused")
                wire.finish()
                return
            wire.okay()
            adb_helper_peer.serve(wire.sock, phone, port)
        else:
            wire.fail("unknown service '%s'" % request.split(":")[0])
            wire.finish()

    def user_agrees(self, what):
        """With the "wait" confirmation the phone holds the operation until
        the test answers for the user (control "confirm" or "deny")."""
        if self.phone["confirm"] != "wait":
            return True
        return self.phone.ask_user(what, CONFIRM_SECONDS) == "confirm"

    def shell(self, v2, command):
        wire, phone = self.wire, self.phone
        wire.okay()
        stdin = b""
        words = _words(command) if command.strip() else []
        size = _install_size(words)
        if size is not None:
            stdin = self._read_stdin(v2, size)
        elif not command.strip() and v2:
            stdin = self._read_stdin(v2, 1 << 20)
        status, out, err = Shell(phone).run(command, stdin)
        if v2:
            for kind, data in ((1, out), (2, err)):
                for i in range(0, len(data), 65536):
                    wire.send(struct.pack("<BI", kind, len(data[i:i + 65536])) + data[i:i + 65536])
            wire.send(struct.pack("<BIB", 3, 1, status & 255))
        else:
            wire.send(out + err)
        wire.finish()

    def _read_stdin(self, v2, limit):
        """Stdin for a command: shell v2 packets until close-stdin, or raw bytes."""
        wire, data = self.wire, bytearray()
        while len(data) < limit:
            if not v2:
                data += self.phone_count(wire.recv_some(min(65536, limit - len(data))))
                continue
            kind, length = struct.unpack("<BI", wire.recv_exact(5))
            if length > 1 << 20:
                raise ValueError("packet too long")
            payload = wire.recv_exact(length)
            if kind == 0:
                data += self.phone_count(payload)
            elif kind == 4:
                break
        return bytes(data[:limit])

    def phone_count(self, data):
        allowed = self.phone.allow(len(data))
        if allowed < len(data):
            raise PhoneGone()
        return data

    def exec_out(self, command):
        wire, phone = self.wire, self.phone
        wire.okay()
        size = _install_size(_words(command))
        stdin = self._read_stdin(False, size) if size else b""
        status, out, err = Shell(phone).run(command, stdin)
        _send_counted(wire, phone, out)
        wire.finish()

    def abb_exec(self, args):
        wire, phone = self.wire, self.phone
        if not args or args[0] != "package" or len(args) < 2:
            wire.fail("abb: unknown service")
            wire.finish()
            return
        wire.okay()
        size = _install_size(args)
        if args[1] == "install":
            if size is None or size > MAX_INSTALL:
                result = "Failure [INSTALL_FAILED_INVALID_APK: no -S size]"
            else:
                result = install_apk(phone, self._read_stdin(False, size), "abb_exec")
            wire.send((result + "\n").encode())
        else:
            status, out, err = Shell(phone).run_argv(["cmd"] + args)
            wire.send(out + err)
        wire.finish()


def _split_serial(rest):
    """host-serial:SERIAL:request, where a serial may itself hold a colon
    (host:port for network devices)."""
    match = re.match(r"^(.*?):((?:features|get-state|get-serialno|get-devpath|forward:|"
                     r"killforward:|tport:|transport).*)$", rest)
    if match:
        return match.group(1), ":", match.group(2)
    return rest.partition(":")


def _words(command):
    try:
        return [Tokenizer(t[1]).expand_word()[0]
                for t in Tokenizer(command, raw=True).tokens() if t[0] == "word"]
    except ParseError:
        return command.split()


def _install_size(words):
    if "install" not in words or "-S" not in words:
        return None
    index = words.index("-S")
    if index + 1 < len(words) and words[index + 1].isdigit():
        return min(int(words[index + 1]), MAX_INSTALL)
    return None


def _send_counted(wire, phone, data):
    """Sends data, stopping where the phone's transfer budget runs out."""
    for i in range(0, len(data), 65536):
        chunk = data[i:i + 65536]
        allowed = phone.allow(len(chunk))
        wire.send(chunk[:allowed])
        if allowed < len(chunk):
            raise PhoneGone()


def _accept_forward(listener, phone, remote, registry):
    while True:
        try:
            client, _ = listener.accept()
        except OSError:
            return
        if not phone.present or phone["state"] != "device" or remote not in phone.channels:
            client.close()
            continue
        phone.log("tunnel", "tcp:%d" % remote)
        threading.Thread(target=adb_helper_peer.serve, args=(client, phone, remote),
                         daemon=True).start()
