"""house_arrest and AFC of the emulated iPhone, over host folders."""
import os
import stat
import struct

from iphone_wire import Closed

MAGIC = b"CFA6LPAA"
HEADER = struct.Struct("<8sQQQQ")
MAX_REQUEST = 16 << 20
MAX_READ = 4 << 20

OP_STATUS, OP_DATA = 1, 2
OP_NAMES = {3: "READ_DIR", 8: "REMOVE_PATH", 9: "MAKE_DIR", 10: "GET_FILE_INFO",
            11: "GET_DEVINFO", 13: "FILE_OPEN", 15: "FILE_READ", 16: "FILE_WRITE",
            17: "FILE_SEEK", 18: "FILE_TELL", 20: "FILE_CLOSE", 27: "FILE_LOCK"}

# Status codes as a phone sends them.
SUCCESS, READ_ERROR, UNKNOWN_PACKET, BAD_HANDLE, NOT_FOUND, IS_DIR, PERM_DENIED = 0, 4, 6, 7, 8, 9, 10


def serve_house_arrest(conn, dev, emu):
    req = conn.recv_plist()
    if not isinstance(req, dict):
        raise Closed("house_arrest request is not a dictionary")
    command = req.get("Command")
    bundle = req.get("Identifier")
    dev.log("house_arrest", command=command, identifier=bundle)
    if dev.fault("house_arrest_hostile"):
        conn.send_hostile(dev.fault("house_arrest_hostile"), dev.fault("stall_seconds"))
    if dev.stalls("house_arrest"):
        conn.hold(dev.fault("stall_seconds"))
    if command not in ("VendContainer", "VendDocuments"):
        conn.send_plist({"Error": "UnknownCommand"})
        conn.hold(dev.fault("stall_seconds"))
    root = dev.app_container(bundle)
    if dev.fault("vend_error"):
        conn.send_plist({"Error": str(dev.fault("vend_error"))})
        conn.hold(dev.fault("stall_seconds"))
    if not root or not os.path.isdir(root):
        conn.send_plist({"Error": "ApplicationLookupFailed"})
        conn.hold(dev.fault("stall_seconds"))
    conn.send_plist({"Status": "Complete"})
    Afc(conn, dev, emu, root, writable=False, service="house_arrest").run()


class Afc:
    def __init__(self, conn, dev, emu, root, writable, service):
        self.conn = conn
        self.dev = dev
        self.emu = emu
        self.root = os.path.realpath(root)
        self.writable = writable
        self.service = service
        self.handles = {}
        self.next_handle = 1

    def log(self, **fields):
        self.dev.log("afc", via=self.service, **fields)

    # -- replies ----------------------------------------------------------
    def status(self, num, code):
        self.conn.send(HEADER.pack(MAGIC, 48, 48, num, OP_STATUS) + struct.pack("<Q", code))

    def data(self, num, payload):
        self.conn.send(HEADER.pack(MAGIC, 40 + len(payload), 40, num, OP_DATA) + payload)

    def hostile(self, num, kind):
        if kind == "huge_entire":
            self.conn.send(HEADER.pack(MAGIC, 1 << 62, 40, num, OP_DATA) + b"x" * 64)
        elif kind == "entire_4g":
            self.conn.send(HEADER.pack(MAGIC, 0xFFFFFFF0, 40, num, OP_DATA) + b"x" * 64)
        elif kind == "entire_2g":
            self.conn.send(HEADER.pack(MAGIC, 40 + 0x7FFFFF00, 40, num, OP_DATA) + b"x" * 64)
        elif kind == "unknown_op":
            self.conn.send(HEADER.pack(MAGIC, 48, 48, num, 0x7777) + struct.pack("<Q", 0))
        elif kind == "bad_magic":
            self.conn.send(HEADER.pack(b"XXXXXXXX", 48, 48, num, OP_STATUS) + struct.pack("<Q", 0))
        elif kind == "wrong_packet_num":
            self.conn.send(HEADER.pack(MAGIC, 48, 48, num + 1000, OP_STATUS) + struct.pack("<Q", 0))
        elif kind == "short_this":
            self.conn.send(HEADER.pack(MAGIC, 48, 8, num, OP_STATUS) + struct.pack("<Q", 0))
        else:  # truncated: a header promising data that never comes
            self.conn.send(HEADER.pack(MAGIC, 40 + 4096, 40, num, OP_DATA) + b"y" * 16)
        self.conn.hold(self.dev.fault("stall_seconds"))

    # -- paths ------------------------------------------------------------
    def resolve(self, raw):
        """Host path for a phone path, or None when it would leave the root."""
        text = raw.split(b"\0", 1)[0].decode("utf-8", "replace")
        parts = [p for p in text.split("/") if p not in ("", ".")]
        if any(p == ".." for p in parts):
            return text, None
        return "/" + "/".join(parts), os.path.join(self.root, *parts)

    def inside(self, host):
        real = os.path.realpath(host)
        return real == self.root or real.startswith(self.root + os.sep)

    def parent_inside(self, host):
        return host == self.root or self.inside(os.path.dirname(host))

    # -- loop -------------------------------------------------------------
    def run(self):
        for _ in range(10000000):
            head = self.conn.recv_exact(HEADER.size)
            magic, entire, this, num, op = HEADER.unpack(head)
            if magic != MAGIC or this < 40 or entire < this or entire > MAX_REQUEST:
                raise Closed("unusable AFC request header")
            params = self.conn.recv_exact(this - 40)
            payload = self.conn.recv_exact(entire - this)
            name = OP_NAMES.get(op, "OP_%d" % op)
            hostile_op = self.dev.fault("afc_hostile_op") or "any"
            if self.dev.fault("afc_hostile") and hostile_op in ("any", name):
                self.log(op=name)
                self.hostile(num, self.dev.fault("afc_hostile"))
            handler = getattr(self, "op_" + name, None)
            if handler is None:
                self.log(op=name)
                self.status(num, UNKNOWN_PACKET)
                continue
            try:
                handler(num, params, payload)
            except PermissionError:
                self.status(num, PERM_DENIED)
            except FileNotFoundError:
                self.status(num, NOT_FOUND)
            except OSError:
                self.status(num, READ_ERROR)

    def op_READ_DIR(self, num, params, payload):
        path, host = self.resolve(params)
        self.log(op="READ_DIR", path=path)
        if self.dev.stalls("afc_list"):
            self.conn.hold(self.dev.fault("stall_seconds"))
        code = self.dev.path_fault("afc_list_error", path)
        if code is not None:
            return self.status(num, code)
        if host is None or not os.path.lexists(host) or not self.inside(host):
            return self.status(num, NOT_FOUND)
        if not os.path.isdir(host):
            return self.status(num, READ_ERROR)
        names = [".", ".."] + sorted(os.listdir(host))
        self.data(num, b"".join(n.encode("utf-8") + b"\0" for n in names))

    def op_GET_FILE_INFO(self, num, params, payload):
        path, host = self.resolve(params)
        self.log(op="GET_FILE_INFO", path=path)
        if self.dev.stalls("afc_info"):
            self.conn.hold(self.dev.fault("stall_seconds"))
        if host is None or not os.path.lexists(host) or not self.parent_inside(host):
            return self.status(num, NOT_FOUND)
        st = os.lstat(host)
        if stat.S_ISLNK(st.st_mode):
            kind = "S_IFLNK"
        elif stat.S_ISDIR(st.st_mode):
            kind = "S_IFDIR"
        else:
            kind = "S_IFREG"
        birth = getattr(st, "st_birthtime", None)
        birth_ns = int(birth * 1e9) if birth else st.st_mtime_ns
        info = [("st_size", st.st_size), ("st_blocks", st.st_blocks), ("st_nlink", st.st_nlink),
                ("st_ifmt", kind), ("st_mtime", st.st_mtime_ns), ("st_birthtime", birth_ns)]
        if kind == "S_IFLNK":
            info.append(("LinkTarget", os.readlink(host)))
        self.data(num, b"".join(str(k).encode() + b"\0" + str(v).encode("utf-8") + b"\0"
                                for k, v in info))

    def op_GET_DEVINFO(self, num, params, payload):
        self.log(op="GET_DEVINFO")
        info = [("Model", self.dev.get("product_type")), ("FSTotalBytes", 64000000000),
                ("FSFreeBytes", 21000000000), ("FSBlockSize", 4096)]
        self.data(num, b"".join(k.encode() + b"\0" + str(v).encode() + b"\0" for k, v in info))

    def op_FILE_OPEN(self, num, params, payload):
        if len(params) < 9:
            return self.status(num, 7)
        mode = struct.unpack("<Q", params[:8])[0]
        path, host = self.resolve(params[8:])
        self.log(op="FILE_OPEN", path=path, mode=mode)
        if self.dev.stalls("afc_open"):
            self.conn.hold(self.dev.fault("stall_seconds"))
        writing = mode != 1
        if writing and not self.writable:
            return self.status(num, PERM_DENIED)
        if host is None or not self.parent_inside(host):
            return self.status(num, NOT_FOUND)
        if os.path.lexists(host) and not self.inside(host):
            return self.status(num, NOT_FOUND)
        if os.path.isdir(host):
            return self.status(num, IS_DIR)
        flags = {1: "rb", 2: "r+b", 3: "wb", 4: "w+b", 5: "ab", 6: "a+b"}.get(mode)
        if flags is None:
            return self.status(num, 7)
        if mode == 2 and not os.path.exists(host):
            open(host, "wb").close()
        try:
            f = open(host, flags)
        except OSError:
            return self.status(num, NOT_FOUND)
        handle = self.next_handle
        self.next_handle += 1
        self.handles[handle] = (f, path)
        self.conn.send(HEADER.pack(MAGIC, 48, 48, num, 14) + struct.pack("<Q", handle))

    def handle_of(self, params):
        if len(params) < 8:
            return None, None
        return self.handles.get(struct.unpack("<Q", params[:8])[0], (None, None))

    def op_FILE_READ(self, num, params, payload):
        f, path = self.handle_of(params)
        want = struct.unpack("<Q", params[8:16])[0] if len(params) >= 16 else 0
        self.log(op="FILE_READ", path=path, length=want)
        if f is None:
            return self.status(num, BAD_HANDLE)
        if self.dev.stalls("afc_read"):
            self.conn.hold(self.dev.fault("stall_seconds"))
        code = self.dev.path_fault("afc_read_error", path)
        if code is not None:
            return self.status(num, code)
        chunk = f.read(min(want, MAX_READ))
        allowed = self.dev.take_bytes(len(chunk))
        if allowed < len(chunk):
            # The phone goes away mid-file: the answer is cut short.
            self.conn.send(HEADER.pack(MAGIC, 40 + len(chunk), 40, num, OP_DATA) + chunk[:allowed])
            self.emu.detach(self.dev.udid)
            raise Closed("dropped mid-file")
        self.data(num, chunk)

    def op_FILE_WRITE(self, num, params, payload):
        f, path = self.handle_of(params)
        self.log(op="FILE_WRITE", path=path, length=len(payload))
        if f is None:
            return self.status(num, BAD_HANDLE)
        f.write(payload)
        self.status(num, SUCCESS)

    def op_FILE_SEEK(self, num, params, payload):
        f, path = self.handle_of(params)
        if f is None or len(params) < 24:
            return self.status(num, BAD_HANDLE)
        whence, offset = struct.unpack("<Qq", params[8:24])
        try:
            f.seek(offset, whence if whence in (0, 1, 2) else 0)
        except (OSError, ValueError):
            return self.status(num, 7)
        self.status(num, SUCCESS)

    def op_FILE_TELL(self, num, params, payload):
        f, path = self.handle_of(params)
        if f is None:
            return self.status(num, BAD_HANDLE)
        self.conn.send(HEADER.pack(MAGIC, 48, 48, num, 19) + struct.pack("<Q", f.tell()))

    def op_FILE_CLOSE(self, num, params, payload):
        f, path = self.handle_of(params)
        self.log(op="FILE_CLOSE", path=path)
        if f is None:
            return self.status(num, BAD_HANDLE)
        f.close()
        del self.handles[struct.unpack("<Q", params[:8])[0]]
        self.status(num, SUCCESS)

    def op_FILE_LOCK(self, num, params, payload):
        f, path = self.handle_of(params)
        operation = struct.unpack("<Q", params[8:16])[0] if len(params) >= 16 else 0
        self.log(op="FILE_LOCK", path=path, mode=operation)
        self.status(num, SUCCESS if f is not None else BAD_HANDLE)

    def op_MAKE_DIR(self, num, params, payload):
        path, host = self.resolve(params)
        self.log(op="MAKE_DIR", path=path)
        if not self.writable:
            return self.status(num, PERM_DENIED)
        if host is None:
            return self.status(num, NOT_FOUND)
        os.makedirs(host, exist_ok=True)
        self.status(num, SUCCESS)

    def op_REMOVE_PATH(self, num, params, payload):
        path, host = self.resolve(params)
        self.log(op="REMOVE_PATH", path=path)
        if not self.writable:
            return self.status(num, PERM_DENIED)
        if host is None or not os.path.lexists(host):
            return self.status(num, NOT_FOUND)
        try:
            os.rmdir(host) if os.path.isdir(host) and not os.path.islink(host) else os.remove(host)
        except OSError:
            return self.status(num, 33)
        self.status(num, SUCCESS)
