#!/usr/bin/python3
"""Builds the seed corpus of each fuzz target from the fixture builders.

    make_seeds.py FIXTURES OUT NAME...

Writes OUT/NAME/ for every target NAME: the bytes that NAME's parser reads,
cut out of the fixtures that tests/fixtures builds (never stored blobs). A
target without a seed generator here gets an empty folder and starts from
nothing. To seed a new target NAME, add a function seeds_NAME(fixtures)
returning a list of byte strings.
"""
import base64
import glob
import hashlib
import os
import plistlib
import shutil
import sqlite3
import struct
import subprocess
import sys
import tempfile
import zlib

PYTHON = "/usr/bin/python3"


class Fixtures:
    """Runs the fixture builders once each, in a scratch folder."""

    def __init__(self, builders, scratch):
        self.builders = builders
        self.scratch = scratch
        self.made = {}

    def run(self, script, *args):
        subprocess.run([PYTHON, os.path.join(self.builders, script)] + list(args),
                       check=True, stdout=subprocess.DEVNULL)

    def path(self, name):
        return os.path.join(self.scratch, name)

    def once(self, key, build):
        if key not in self.made:
            build(self.path(key))
            self.made[key] = self.path(key)
        return self.made[key]

    def itunes(self, kind, *flags):
        key = "itunes-" + kind + "".join(flags).replace("-", "_")
        return self.once(key, lambda out: self.run("make_itunes_backup.py", out, kind, *flags))

    def android_tree(self):
        return self.once("android-tree",
                         lambda out: self.run("make_android_kik.py", "tree", out, "--newer"))

    def android_archives(self):
        tree = self.android_tree()
        archives = []
        for flags in ([], ["--plain"], ["--cipher"], ["--raw-tar"]):
            out = self.path("android%s.ab" % "".join(flags).replace("-", "_"))
            self.run("make_android_kik.py", "ab", tree, out, *flags)
            archives.append(out)
        hostile = self.path("android-hostile.ab")
        self.run("make_android_kik.py", "hostile", hostile)
        archives.append(hostile)
        return archives

    def localdb(self):
        return self.once("localdb", lambda out: self.run("make_localdb.py", out, "media"))

    def ios_store(self):
        def build(out):
            self.run("make_ios_kik_store.py", out, out + ".json")
        return self.once("ios-store", build)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def column(db_path, sql):
    db = sqlite3.connect("file:%s?mode=ro" % db_path, uri=True)
    try:
        return [bytes(row[0]) if not isinstance(row[0], str) else row[0].encode("utf-8")
                for row in db.execute(sql) if row[0] is not None]
    finally:
        db.close()


def seeds_tinykv(fx):
    db = os.path.join(fx.localdb(), "velloran-kik.db")
    return column(db, "SELECT attachment FROM kik_message")


def seeds_render_instructions(fx):
    android_db = os.path.join(fx.android_tree(), "apps", "kik.android", "db", "kikDatabase.db")
    found = column(android_db, "SELECT render_instructions FROM messagesTable")
    found += column(os.path.join(fx.localdb(), "velloran-kik.db"),
                    "SELECT render_ins FROM kik_message")
    return found


def plists_below(folder):
    found = []
    for path in sorted(glob.glob(os.path.join(folder, "**", "*"), recursive=True)):
        if os.path.isfile(path):
            head = read(path)[:8]
            if head.startswith(b"bplist") or head.lstrip().startswith(b"<?xml"):
                found.append(read(path))
    return found


def seeds_plist(fx):
    found = []
    for fmt in ("xml", "binary"):
        out = fx.path("sample-%s.plist" % fmt)
        fx.run("make_plist.py", out, fmt)
        found.append(read(out))
    found += plists_below(fx.itunes("db-enc"))
    found += plists_below(fx.ios_store())
    return found


def seeds_mbdb(fx):
    return [read(os.path.join(fx.itunes(kind, *flags), "Manifest.mbdb"))
            for kind, flags in (("mbdb", []), ("mbdb-enc", []), ("mbdb", ["--hostile"]))]


def seeds_manifest_file_record(fx):
    found = []
    for flags in ([], ["--hostile"]):
        found += column(os.path.join(fx.itunes("db", *flags), "Manifest.db"),
                        "SELECT file FROM Files")
    return found


def seeds_keybag(fx):
    found = []
    for kind in ("mbdb-enc", "db-enc"):
        with open(os.path.join(fx.itunes(kind), "Manifest.plist"), "rb") as f:
            found.append(plistlib.load(f)["BackupKeyBag"])
    return found


def seeds_android_backup(fx):
    return [read(path) for path in fx.android_archives()]


def seeds_android_backup_tar(fx):
    found = []
    for path in fx.android_archives():
        data = read(path)
        body = data[24:]
        if b"AES-256" in data[:24]:
            continue
        try:
            found.append(zlib.decompress(body))
        except zlib.error:
            found.append(body)  # a stored (uncompressed) tar
    return found


def helper_blocks(content, sizes):
    """The phone's side of a download: "$file:" with the size, the content
    in "$block:" chunks of the given sizes, then the closing "."."""
    said = b"$file:%d,\n" % len(content)
    at = 0
    for size in sizes:
        said += b"$block:%d\n" % size + content[at:at + size]
        at += size
    return said + b".\n"


def helper_error(text):
    return b"$error:" + base64.b64encode(text.encode("utf-8")) + b"\n"


def seeds_helper_protocol(fx):
    """First byte: what the desktop asks, up to three requests on one
    channel as its base-5 digits (0 download, 1 named download, 2 superuser
    command, 3 upload of two blocks, 4 greeting and device information);
    the rest is what the phone answers."""
    content = bytes(range(256)) * 3
    hello = (b"$hello:version=3.1.1;model=Pixel 7;manufacturer=Google;imei=3567;"
             b"uid=10123;sdk=13;sdk_id=33;root=1;storage1=/storage/emulated/0;\n")
    return [
        b"\x00" + helper_blocks(content, [len(content)]),
        b"\x00" + helper_blocks(content, [5, 300, len(content) - 305]),
        b"\x00" + b"$file:,\n$block:3\nabc.\n",
        b"\x00" + helper_error("file not found"),
        b"\x01" + helper_blocks(b"kik", [3]),
        b"\x01" + b"$file:0,\n.\n",
        b"\x02" + b"$sucmd:0\n",
        b"\x02" + b"$sucmd:127\r\n",
        b"\x02" + helper_error("su: not allowed"),
        b"\x03" + b".\n.\n$file:\n",
        b"\x03" + b".\n" + helper_error("no space left"),
        b"\x04" + b"$ready:\n" + hello,
        b"\x04" + b"$ready:\n$hello:version=2.0;\n",
        bytes([0 + 5 * 2]) + helper_blocks(content, [100, len(content) - 100]) + b"$sucmd:0\n",
        bytes([4 + 5 * 3 + 25 * 1]) + b"$ready:\n" + hello + b".\n.\n$file:\n"
        + helper_blocks(b"attachment", [4, 6]),
    ]


AFC_STATUS, AFC_DATA, AFC_FILE_OPEN_RESULT = 1, 2, 14


def afc_reply(operation, payload=b"", number=0):
    """One AFC packet as the phone sends it: "CFA6LPAA", entire length,
    header length, packet number, operation (little-endian), payload."""
    return b"CFA6LPAA" + struct.pack("<QQQQ", 40 + len(payload), 40, number, operation) + payload


def afc_strings(*strings):
    return b"".join(s.encode("utf-8") + b"\0" for s in strings)


def afc_info(kind, size, mtime_ns=1600000000 * 10**9):
    return afc_reply(AFC_DATA, afc_strings("st_size", str(size), "st_blocks", "8", "st_nlink", "1",
                                           "st_ifmt", kind, "st_mtime", str(mtime_ns),
                                           "st_birthtime", str(mtime_ns)))


def afc_file(content, chunk=65536):
    """Opening, reading to the end and closing one file."""
    said = afc_reply(AFC_FILE_OPEN_RESULT, struct.pack("<Q", 3))
    for at in range(0, len(content), chunk):
        said += afc_reply(AFC_DATA, content[at:at + chunk])
    return said + afc_reply(AFC_DATA) + afc_reply(AFC_STATUS, struct.pack("<Q", 0))


def seeds_afc(fx):
    """First byte: what the desktop does (0 folder listing with file
    information, 1 file record, 2 file information, 3 read a file, 4 copy a
    folder tree); the rest is what the phone answers, packet by packet."""
    listing = afc_reply(AFC_DATA, afc_strings(".", "..", "kik.sqlite", "attachments"))
    infos = afc_info("S_IFREG", 300) + afc_info("S_IFDIR", 0)
    content = bytes(range(256)) * 300
    tree = (listing + infos + afc_file(content[:300])
            + afc_reply(AFC_DATA, afc_strings(".", "..", "photo.jpg"))
            + afc_info("S_IFREG", 5) + afc_file(b"photo"))
    return [
        b"\x00" + listing + infos,
        b"\x00" + listing + afc_reply(AFC_STATUS, struct.pack("<Q", 8)) + afc_info("S_IFDIR", 0),
        b"\x01" + afc_info("S_IFREG", 77824),
        b"\x01" + afc_reply(AFC_STATUS, struct.pack("<Q", 8)),
        b"\x02" + afc_info("S_IFLNK", 12),
        b"\x03" + afc_file(content),
        b"\x03" + afc_file(content[:1000], chunk=100),
        b"\x04" + tree,
    ]


def framed(value, fmt=plistlib.FMT_XML):
    body = plistlib.dumps(value, fmt=fmt)
    return struct.pack(">I", len(body)) + body


def seeds_plist_framing(fx):
    """First byte: even reads messages until the stream ends, odd asks for
    an app's container; the rest is what the phone answers."""
    value = {"Key": "DeviceName", "Value": "Bob's iPhone", "Domain": "",
             "Data": b"\x00\x01\x02", "Count": 3, "List": [True, 1.5, "x"]}
    messages = [
        framed(value),
        framed(value, plistlib.FMT_BINARY),
        framed({"MessageName": "DLMessageVersionExchange"}) + framed(["DLMessageProcessMessage", {}]),
        struct.pack(">I", 0) + framed({"Status": "Complete"}, plistlib.FMT_BINARY),
    ]
    return ([b"\x00" + m for m in messages]
            + [b"\x01" + framed({"Status": "Complete"}),
               b"\x01" + framed({"Error": "ApplicationLookupFailed"}, plistlib.FMT_BINARY)])


def seeds_adb_output(fx):
    """Outputs of `adb devices`, `pm list packages`, installs and `su -c id`."""
    return [
        b"* daemon not running; starting now at tcp:5037\n* daemon started successfully\n"
        b"List of devices attached\nR58M123ABC\tdevice\nemulator-5554\toffline\n"
        b"192.168.1.20:5555\tunauthorized\n\n",
        b"List of devices attached\r\n0123456789ABCDEF       device usb:1-1 product:raven "
        b"model:Pixel_6_Pro device:raven transport_id:1\r\n",
        b"package:kik.android\npackage:com.velloran.marrowlink\npackage:com.android.shell\n",
        b"Performing Streamed Install\nSuccess\n",
        b"adb: failed to install helper.apk: Failure [INSTALL_FAILED_VERSION_DOWNGRADE]\n",
        b"error: device unauthorized.\n",
        b"uid=0(root) gid=0(root) groups=0(root) context=u:r:su:s0\n",
        b"uid=2000(shell) gid=2000(shell)\n",
    ]


def seeds_thumbnail_archive(fx):
    found = []
    for flags in ([], ["--cut"]):
        out = fx.path("thumbs%s.tar" % "".join(flags).replace("-", "_"))
        fx.run("make_android_kik.py", "thumbs-tar", out, *flags)
        found.append(read(out))
    return found


def main(argv):
    builders, out, names = argv[1], argv[2], argv[3:]
    scratch = tempfile.mkdtemp(prefix="velloran-seeds-")
    try:
        fx = Fixtures(builders, scratch)
        for name in names:
            folder = os.path.join(out, name)
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
            generate = globals().get("seeds_" + name)
            if generate is None:
                print("make_seeds.py: no seeds for %s, it starts empty" % name)
                continue
            for data in generate(fx):
                digest = hashlib.sha1(data).hexdigest()
                with open(os.path.join(folder, digest), "wb") as f:
                    f.write(data)
    finally:
        shutil.rmtree(scratch)


if __name__ == "__main__":
    main(sys.argv)
