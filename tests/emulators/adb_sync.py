"""adb's file sync sub-protocol (pull, push, stat, list) as the phone's
shell user sees the files: /data/data is closed to it, as on a phone."""
import errno
import os
import stat as statmod
import struct

from adb_phone import PhoneGone

MAX_PATH = 1024
MAX_DATA = 64 * 1024


def _reply(wire, ident, data=b""):
    wire.send(ident + struct.pack("<I", len(data)) + data)


def _fail(wire, message):
    _reply(wire, b"FAIL", message.encode())


def _lookup(phone, path):
    """(host path, os.stat_result or None, errno)."""
    host = phone.host_path(path)
    if host is None:
        return None, None, errno.ENOENT
    if not phone.may_access("shell", path):
        return host, None, errno.EACCES
    try:
        return host, os.stat(host), 0
    except OSError as e:
        return host, None, e.errno or errno.ENOENT


def serve(wire, phone):
    while True:
        ident = wire.recv_exact(4)
        (length,) = struct.unpack("<I", wire.recv_exact(4))
        if ident == b"QUIT":
            return
        if length > MAX_PATH:
            _fail(wire, "path too long")
            return
        path = wire.recv_exact(length).decode("utf-8", "replace")
        phone.log("sync", "%s %s" % (ident.decode("latin1"), path))
        if ident == b"STAT":
            _stat_v1(wire, phone, path)
        elif ident in (b"STA2", b"LST2"):
            _stat_v2(wire, phone, path)
        elif ident == b"LIST":
            _list(wire, phone, path)
        elif ident == b"RECV":
            _recv(wire, phone, path)
        elif ident == b"SEND":
            if not _send(wire, phone, path):
                return
        else:
            _fail(wire, "unknown sync request %r" % ident)
            return


def _stat_v1(wire, phone, path):
    _, st, _ = _lookup(phone, path)
    if st is None:
        wire.send(b"STAT" + struct.pack("<III", 0, 0, 0))
    else:
        wire.send(b"STAT" + struct.pack("<III", st.st_mode, st.st_size & 0xFFFFFFFF,
                                        int(st.st_mtime)))


def _stat_v2(wire, phone, path):
    _, st, err = _lookup(phone, path)
    if st is None:
        wire.send(b"STA2" + struct.pack("<I", err) + bytes(64))
        return
    wire.send(b"STA2" + struct.pack("<IQQIIIIQqqq", 0, st.st_dev, st.st_ino, st.st_mode, 1,
                                    2000, 2000, st.st_size, int(st.st_atime),
                                    int(st.st_mtime), int(st.st_ctime)))


def _list(wire, phone, path):
    host, st, _ = _lookup(phone, path)
    if st is not None and statmod.S_ISDIR(st.st_mode):
        for name in [".", ".."] + sorted(os.listdir(host)):
            try:
                s = os.stat(os.path.join(host, name))
            except OSError:
                continue
            raw = name.encode()
            wire.send(b"DENT" + struct.pack("<IIII", s.st_mode, s.st_size & 0xFFFFFFFF,
                                            int(s.st_mtime), len(raw)) + raw)
    wire.send(b"DONE" + bytes(16))


def _recv(wire, phone, path):
    host, st, err = _lookup(phone, path)
    if st is None:
        _fail(wire, os.strerror(err))
        return
    if statmod.S_ISDIR(st.st_mode):
        _fail(wire, "Is a directory")
        return
    with open(host, "rb") as f:
        while True:
            chunk = f.read(MAX_DATA)
            if not chunk:
                break
            allowed = phone.allow(len(chunk))
            if allowed < len(chunk):
                wire.send(b"DATA" + struct.pack("<I", len(chunk)) + chunk[:allowed])
                raise PhoneGone()
            _reply(wire, b"DATA", chunk)
    _reply(wire, b"DONE")


def _send(wire, phone, request):
    """SEND path,mode then DATA chunks and DONE mtime. Returns False when
    the connection cannot go on."""
    path, _, mode = request.rpartition(",")
    host = phone.host_path(path)
    problem = None
    if host is None:
        problem = "couldn't create file: No such file or directory"
    elif not phone.may_access("shell", path):
        problem = "couldn't create file: Permission denied"
    elif os.path.isdir(host):
        problem = "couldn't create file: Is a directory"
    target = None
    existed = host is not None and os.path.exists(host)
    if problem is None:
        os.makedirs(os.path.dirname(host), exist_ok=True)
        target = open(host, "wb")
    done = False
    try:
        while True:
            ident = wire.recv_exact(4)
            (length,) = struct.unpack("<I", wire.recv_exact(4))
            if ident == b"DONE":
                mtime = length
                break
            if ident != b"DATA" or length > MAX_DATA:
                _fail(wire, "invalid data message")
                return False
            chunk = wire.recv_exact(length)
            if phone.allow(len(chunk)) < len(chunk):
                raise PhoneGone()
            if target is not None:
                target.write(chunk)
        done = True
    finally:
        if target is not None:
            target.close()
            if not done:
                os.remove(host)  # adbd removes what it could not finish
    if problem is None:
        os.utime(host, (mtime, mtime))
        if not existed:
            phone.created("shell", path)
        _reply(wire, b"OKAY")
        return True
    _fail(wire, problem)
    return True
