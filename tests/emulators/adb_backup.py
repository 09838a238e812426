"""Android backup archives as a phone writes them for `adb backup` and
reads them for `adb restore`.

An app's folder <root>/data/data/PKG maps onto apps/PKG/ in the archive:
databases -> db, files -> f, shared_prefs -> sp, other folders and files
-> r (cache, code_cache, lib and no_backup are left out); apps/PKG/_manifest
comes first; entries are files only, owned by the app, as in real archives. A restore clears the app's folder and writes what the
archive holds, and ignores a package that is not installed or whose
_manifest does not come first.
"""
import io
import os
import posixpath
import shutil
import socket
import tarfile
import zlib

from adb_phone import PhoneGone

ANDROID12_ARCHIVE = (b"ANDROID BACKUP\n5\n1\nnone\n" +
                     bytes.fromhex("78da62601805a360148c5400000000ffff030004000001"))
DOMAINS = {"databases": "db", "files": "f", "shared_prefs": "sp"}
SKIPPED = {"cache", "code_cache", "lib", "no_backup"}
FOLDERS = {"db": "databases", "f": "files", "sp": "shared_prefs", "c": "cache", "r": ""}
MAX_ARCHIVE = 512 * 1024 * 1024
IDLE_SECONDS = 3.0


SIGNATURE = "308201e530820..."  # stands for the app's signing certificate (hex)


def _manifest(phone, package):
    """Manifest version, package, version code, platform SDK, installer,
    whether the APK is included, signatures."""
    return ("1\n%s\n1\n%s\n\n0\n1\n%s\n" % (package, phone["sdk"], SIGNATURE)).encode()


def _add_folder(tar, host, name, uid):
    """Files below a folder as a phone writes them: ustar entries owned by
    the app, no directory entries."""
    if os.path.isdir(host):
        for child in sorted(os.listdir(host)):
            _add_folder(tar, os.path.join(host, child), name + "/" + child, uid)
        return
    if not os.path.isfile(host):
        return
    info = tar.gettarinfo(host, arcname=name)
    info.mtime = int(info.mtime)
    info.uid = info.gid = uid
    info.uname = info.gname = ""
    with open(host, "rb") as f:
        tar.addfile(info, f)


def build_tar(phone, packages):
    buf = io.BytesIO()
    with tarfile.open(fileobj=buf, mode="w", format=tarfile.PAX_FORMAT) as tar:
        for package in packages:
            app = os.path.join(phone["root"], "data", "data", package)
            if not os.path.isdir(app):
                continue
            data = _manifest(phone, package)
            info = tarfile.TarInfo("apps/%s/_manifest" % package)
            info.size, info.mode, info.uid, info.gid = len(data), 0o600, 1000, 1000
            tar.addfile(info, io.BytesIO(data))
            uid = phone.app_uid(package)
            names = sorted(os.listdir(app))
            for name in [n for n in names if n not in DOMAINS and n not in SKIPPED]:
                _add_folder(tar, os.path.join(app, name), "apps/%s/r/%s" % (package, name), uid)
            for folder, domain in (("files", "f"), ("databases", "db"), ("shared_prefs", "sp")):
                if folder in names:
                    _add_folder(tar, os.path.join(app, folder), "apps/%s/%s" % (package, domain),
                                uid)
    return buf.getvalue()


def make_archive(phone, words):
    """The bytes a phone sends for `backup:` with these arguments."""
    mode = phone["backup"]
    if mode == "refused":
        return b""
    if mode == "android12":
        return ANDROID12_ARCHIVE
    packages = [w for w in words if not w.startswith("-")]
    if mode == "encrypted":
        body = os.urandom(4096)
        return (b"ANDROID BACKUP\n5\n1\nAES-256\n" + b"%s\n%s\n10000\n%s\n%s\n" % (
            os.urandom(64).hex().upper().encode(), os.urandom(64).hex().upper().encode(),
            os.urandom(16).hex().upper().encode(), os.urandom(96).hex().upper().encode()) + body)
    return b"ANDROID BACKUP\n5\n1\nnone\n" + zlib.compress(build_tar(phone, packages))


class _Reader:
    """Reads the restore stream from the client, counting bytes against the
    phone's budget; returns b"" once the client is idle or gone."""

    def __init__(self, wire, phone):
        self.wire, self.phone, self.total = wire, phone, 0
        wire.sock.settimeout(IDLE_SECONDS)

    def read(self):
        try:
            chunk = self.wire.recv_some()
        except (EOFError, socket.timeout):
            return b""
        self.total += len(chunk)
        if self.total > MAX_ARCHIVE:
            return b""
        allowed = self.phone.allow(len(chunk))
        if allowed < len(chunk):
            raise PhoneGone()
        return chunk


def receive_and_restore(wire, phone, agreed=True):
    """Reads the archive to its end (the client sends 1024 zero bytes after
    it and never half-closes) and applies it unless the user said no."""
    reader = _Reader(wire, phone)
    head = bytearray()
    while head.count(b"\n") < 4:
        chunk = reader.read()
        if not chunk:
            phone.log("restore", "incomplete header")
            return
        head += chunk
        if len(head) > 4096:
            phone.log("restore", "bad header")
            return
    lines = bytes(head).split(b"\n", 4)
    rest = lines[4]
    if lines[0] != b"ANDROID BACKUP":
        phone.log("restore", "not a backup archive")
        return
    if lines[3].strip() != b"none":
        _drain(reader)
        phone.log("restore", "encrypted archive refused")
        return
    if lines[2].strip() == b"1":
        tar_bytes, complete = _inflate(reader, rest)
    else:
        tar_bytes, complete = _plain_tar(reader, rest)
    mode = phone["restore"] or {"android12": "ignored", "encrypted": "refused",
                                "refused": "refused"}.get(phone["backup"], "normal")
    if not agreed:
        mode = "refused by the user"
    phone.log("restore", "archive of %d tar bytes, complete=%s, mode=%s"
              % (len(tar_bytes), complete, mode))
    if mode == "normal":
        apply_tar(phone, tar_bytes)


def _drain(reader):
    while reader.read():
        pass


def _inflate(reader, first):
    inflater = zlib.decompressobj()
    out = bytearray()
    data = first
    while True:
        try:
            out += inflater.decompress(data)
        except zlib.error:
            return bytes(out), False
        if inflater.eof:
            return bytes(out), True
        if len(out) > MAX_ARCHIVE:
            return bytes(out), False
        data = reader.read()
        if not data:
            return bytes(out), False


def _plain_tar(reader, first):
    """An uncompressed tar ends at its first all-zero header block."""
    data = bytearray(first)
    pos = 0
    while True:
        while len(data) < pos + 512:
            chunk = reader.read()
            if not chunk:
                return bytes(data[:pos]), False
            data += chunk
        block = bytes(data[pos:pos + 512])
        if block == bytes(512):
            return bytes(data[:pos]) + bytes(1024), True
        try:
            size = int(block[124:136].strip(b"\0 ") or b"0", 8)
        except ValueError:
            return bytes(data[:pos]), False
        pos += 512 + (size + 511) // 512 * 512


def _target(phone, package, rel):
    """Host path for an archive path below apps/PKG/, or None to skip it."""
    parts = rel.split("/")
    if any(p in ("", ".", "..") for p in parts) or len(parts) < 2:
        return None
    domain, inner = parts[0], parts[1:]
    app = os.path.join(phone["root"], "data", "data", package)
    if domain in FOLDERS:
        base = os.path.join(app, FOLDERS[domain]) if FOLDERS[domain] else app
    elif domain == "ef":
        base = phone.host_path("/sdcard/Android/data/%s/files" % package)
    elif domain.startswith("d_") and domain[2:] in FOLDERS:
        base = os.path.join(phone["root"], "data", "user_de", "0", package, FOLDERS[domain[2:]])
    else:
        return None
    return os.path.join(base, *inner) if base else None


def apply_tar(phone, tar_bytes):
    cleared = set()
    manifest_seen = set()
    try:
        tar = tarfile.open(fileobj=io.BytesIO(tar_bytes), mode="r:")
        members = []
        while True:
            try:
                member = tar.next()
            except (tarfile.TarError, EOFError):
                break
            if member is None:
                break
            members.append(member)
    except tarfile.TarError:
        phone.log("restore", "unreadable tar")
        return
    for member in members:
        parts = posixpath.normpath(member.name).split("/")
        if len(parts) < 3 or parts[0] != "apps":
            continue
        package, rel = parts[1], "/".join(parts[2:])
        if package not in phone.packages():
            phone.log("restore", "skipped %s: package not installed" % member.name)
            continue
        if rel == "_manifest":
            manifest_seen.add(package)
            if package not in cleared:
                _clear_app(phone, package)
                cleared.add(package)
            continue
        if package not in manifest_seen:
            phone.log("restore", "skipped %s: no manifest first" % member.name)
            continue
        if rel == "_meta" or rel.startswith("a/"):
            continue
        if not (member.isfile() or member.isdir()):
            phone.log("restore", "skipped %s: type %r" % (member.name, member.type))
            continue
        target = _target(phone, package, rel)
        if target is None:
            phone.log("restore", "skipped %s" % member.name)
            continue
        if member.isdir():
            os.makedirs(target, exist_ok=True)
            continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(tar.extractfile(member).read())
        phone.log("restore", "wrote apps/%s/%s" % (package, rel), size=member.size)


def _clear_app(phone, package):
    """Android clears an app's data before a full restore writes into it."""
    app = os.path.join(phone["root"], "data", "data", package)
    if os.path.isdir(app):
        for name in os.listdir(app):
            if name == "lib":
                continue
            path = os.path.join(app, name)
            if os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path)
            else:
                os.remove(path)
    os.makedirs(app, exist_ok=True)
    phone.forget("/data/data/" + package)
    phone.log("restore", "cleared /data/data/%s" % package)
