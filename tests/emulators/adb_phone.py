"""One emulated Android phone: its options, its folders, what it received.

Phone paths map onto the host folder `root`: "/data/data/kik.android" is
<root>/data/data/kik.android and the shared storage ("/sdcard",
"/storage/emulated/0", "/storage/self/primary", "/mnt/sdcard") is
<root>/sdcard. Every other absolute path P is <root>/P. Paths never climb out
of the root: they are normalised as phone paths before mapping.
"""
import os
import posixpath
import socket
import threading

HELPER_PACKAGE = "com.velloran.marrowlink"
STORAGE_ALIASES = ("/sdcard", "/storage/emulated/0", "/storage/self/primary", "/mnt/sdcard")

DEFAULTS = {
    "serial": "EMU0001",
    "state": "device",          # device | unauthorized | offline | any other word
    "manufacturer": "Google",
    "model": "Pixel 7",
    "device": "panther",
    "product": "panther",
    "release": "13",
    "sdk": 33,
    "rooted": False,
    "su_denied": False,         # rooted, but the user refuses the superuser prompt
    "root": None,
    "shared_storage": True,
    "storage_path": "/storage/emulated/0/",
    "helper": "absent",         # absent | installed | error | garbage | stall | old
    "helper_version": 312,
    "imei": "356938035643809",
    "uid": None,                # the helper's device id; defaults to the serial
    "backup": "normal",         # normal | android12 | encrypted | refused
    "restore": None,            # normal | ignored | refused; None follows "backup"
    "confirm": "auto",          # auto | wait: backup/restore wait for the user's answer
    "gone_after_bytes": None,
    "missing_commands": [],     # shell tools this phone lacks (e.g. "tar" before toybox had it)
    "packages": [],             # installed packages besides kik.android and the helper
    "install_package": HELPER_PACKAGE,
    "install_result": "Success",
    "app_uids": {"kik.android": 10150, HELPER_PACKAGE: 10245},
    "block_size": 65536,        # the helper's download block size
    "wifi_port": None,          # the helper's WiFi control port on 127.0.0.1
    "features": "shell_v2,cmd,abb_exec,stat_v2,fixed_push_mkdir,apex,abb,"
                "fixed_push_symlink_timestamp,remount_shell,track_app,sendrecv_v2",
}


class PhoneGone(Exception):
    """The phone went away in the middle of a transfer."""


class Phone:
    def __init__(self, config, transport_id):
        unknown = set(config) - set(DEFAULTS)
        if unknown:
            raise ValueError("unknown phone keys: " + ", ".join(sorted(unknown)))
        self.cfg = dict(DEFAULTS)
        self.cfg.update(config)
        if not self.cfg["root"]:
            raise ValueError("phone %s has no root folder" % self.cfg["serial"])
        self.lock = threading.RLock()
        self.transport_id = transport_id
        self.present = True
        self.bytes_moved = 0
        self.log_entries = []
        self.meta = {}          # phone path -> {"mode", "owner", "group", "context"}
        self.ops = []           # ownership, mode and context changes, in order
        self.channels = {}      # helper port -> channel kind, after a broadcast
        self.installed = []     # {"package", "size", "sha1"} per install
        self.connections = set()
        self.wifi_listener = None
        self.on_gone = None     # set by the registry: drops the phone's forwards
        self.prompt = None      # the Event a backup/restore waits on for the user
        self.user_answer = None

    # -- options ------------------------------------------------------------
    def __getitem__(self, key):
        with self.lock:
            return self.cfg[key]

    def update(self, values):
        with self.lock:
            unknown = set(values) - set(DEFAULTS)
            if unknown:
                raise ValueError("unknown phone keys: " + ", ".join(sorted(unknown)))
            self.cfg.update(values)
            if "gone_after_bytes" in values:
                self.bytes_moved = 0

    @property
    def serial(self):
        return self.cfg["serial"]

    def device_uid(self):
        return self.cfg["uid"] or self.serial

    def helper_installed(self):
        return self.cfg["helper"] != "absent"

    def packages(self):
        names = list(self.cfg["packages"])
        if os.path.isdir(os.path.join(self.cfg["root"], "data", "data", "kik.android")):
            names.append("kik.android")
        if self.helper_installed():
            names.append(HELPER_PACKAGE)
        for record in self.installed:
            names.append(record["package"])
        seen = []
        for name in names:
            if name not in seen:
                seen.append(name)
        return seen

    def app_uid(self, package):
        return int(self.cfg["app_uids"].get(package, 10100))

    # -- log ----------------------------------------------------------------
    def log(self, kind, text, **extra):
        entry = {"kind": kind, "text": text}
        entry.update(extra)
        with self.lock:
            if len(self.log_entries) < 100000:
                self.log_entries.append(entry)

    # -- transfer budget ----------------------------------------------------
    def allow(self, count):
        """How many of `count` bytes may still move; marks the phone gone and
        raises PhoneGone when the budget is spent."""
        with self.lock:
            if not self.present:
                raise PhoneGone()
            limit = self.cfg["gone_after_bytes"]
            if limit is None:
                self.bytes_moved += count
                return count
            left = max(0, int(limit) - self.bytes_moved)
            if count <= left:
                self.bytes_moved += count
                return count
            self.bytes_moved += left
            self.present = False
            return left

    # -- the user's confirmation on the phone -------------------------------
    def ask_user(self, what, timeout):
        """"confirm", "deny" or "timeout": the answer given (or given ahead)
        through the control port while the phone shows its prompt."""
        with self.lock:
            if self.user_answer is not None:
                answer, self.user_answer = self.user_answer, None
                self.log("prompt", what, answer=answer)
                return answer
            event = self.prompt = threading.Event()
        self.log("prompt", what)
        answered = event.wait(timeout)
        with self.lock:
            answer = self.user_answer if answered and self.user_answer else "timeout"
            self.user_answer = None
            self.prompt = None
        return answer

    def answer_user(self, answer):
        """Answers the prompt shown now, or the next one; True when a
        backup or restore was waiting."""
        with self.lock:
            self.user_answer = answer
            waiting = self.prompt is not None
            if waiting:
                self.prompt.set()
        return waiting

    def check_present(self):
        with self.lock:
            if not self.present:
                raise PhoneGone()

    def go_away(self):
        with self.lock:
            self.present = False
            connections = list(self.connections)
            if self.wifi_listener is not None:
                connections.append(self.wifi_listener)
                self.wifi_listener = None
            on_gone = self.on_gone
            if self.prompt is not None:
                self.user_answer = "deny"
                self.prompt.set()
        if on_gone is not None:
            on_gone()
        for sock in connections:
            for close in (lambda: sock.shutdown(socket.SHUT_RDWR), sock.close):
                try:
                    close()
                except OSError:
                    pass

    # -- paths --------------------------------------------------------------
    def normalise(self, path, cwd="/"):
        if not path.startswith("/"):
            path = posixpath.join(cwd, path)
        path = posixpath.normpath(path)
        if path.startswith("//"):
            path = path[1:]
        for alias in STORAGE_ALIASES[1:]:
            if path == alias or path.startswith(alias + "/"):
                path = "/sdcard" + path[len(alias):]
        if path == "/data/user/0" or path.startswith("/data/user/0/"):
            path = "/data/data" + path[len("/data/user/0"):]
        return path

    def host_path(self, path, cwd="/"):
        """Host path of a phone path, or None when the phone has no such
        place (shared storage missing)."""
        path = self.normalise(path, cwd)
        if (path == "/sdcard" or path.startswith("/sdcard/")) and not self.cfg["shared_storage"]:
            return None
        return os.path.join(self.cfg["root"], path.lstrip("/")) if path != "/" else self.cfg["root"]

    def may_access(self, user, path, cwd="/"):
        """Whether `user` ("root", "shell" or a package name) may touch the path."""
        if user == "root":
            return True
        path = self.normalise(path, cwd)
        if path == "/data" or path.startswith("/data/"):
            if path == "/data/local/tmp" or path.startswith("/data/local/tmp/"):
                return user == "shell"
            own = "/data/data/" + user
            return path == own or path.startswith(own + "/")
        return True

    # -- side table -----------------------------------------------------------
    def default_owner(self, path):
        path = self.normalise(path)
        parts = path.split("/")
        if len(parts) > 3 and parts[1] == "data" and parts[2] == "data":
            uid = self.app_uid(parts[3])
            return "u0_a%d" % (uid - 10000)
        if path.startswith("/sdcard"):
            return "root"
        return "root"

    def file_meta(self, path):
        path = self.normalise(path)
        with self.lock:
            meta = dict(self.meta.get(path, {}))
        meta.setdefault("owner", self.default_owner(path))
        meta.setdefault("group", meta["owner"] if not path.startswith("/sdcard") else "sdcard_rw")
        meta.setdefault("context", self.default_context(path))
        return meta

    def default_context(self, path):
        """The SELinux label restorecon gives a path: app files carry the
        app's categories."""
        path = self.normalise(path)
        parts = path.split("/")
        if len(parts) > 3 and parts[1] == "data" and parts[2] == "data":
            app = self.app_uid(parts[3]) - 10000
            return "u:object_r:app_data_file:s0:c%d,c%d,c512,c768" % (app % 256, 256 + app // 256)
        if path == "/sdcard" or path.startswith("/sdcard/"):
            return "u:object_r:fuse:s0"
        return "u:object_r:system_data_file:s0"

    def record(self, op, path, **values):
        path = self.normalise(path)
        with self.lock:
            entry = self.meta.setdefault(path, {})
            entry.update(values)
            change = {"op": op, "path": path}
            change.update(values)
            self.ops.append(change)

    def created(self, user, path):
        """A file made by `user`: root-made files belong to root and, inside
        an app's folder, lack the app's SELinux categories, as on a phone."""
        path = self.normalise(path)
        owner = "root" if user == "root" else ("shell" if user == "shell" else None)
        with self.lock:
            if owner is None:
                self.meta.pop(path, None)
                return
            self.meta[path] = {"owner": owner, "group": owner}
            if owner == "root" and path.startswith("/data/data/"):
                self.meta[path]["context"] = "u:object_r:app_data_file:s0"

    def moved(self, source, target):
        """A rename keeps owner, mode and label."""
        source, target = self.normalise(source), self.normalise(target)
        with self.lock:
            self.forget(target)
            moving = {k: v for k, v in self.meta.items()
                      if k == source or k.startswith(source + "/")}
            self.meta[target] = self.file_meta(source)
            for key, value in moving.items():
                del self.meta[key]
                if key != source:
                    self.meta[target + key[len(source):]] = value

    def forget(self, path):
        path = self.normalise(path)
        with self.lock:
            for key in [k for k in self.meta if k == path or k.startswith(path + "/")]:
                del self.meta[key]

    def side_table(self):
        with self.lock:
            return {"files": {k: dict(v) for k, v in self.meta.items()},
                    "ops": [dict(o) for o in self.ops],
                    "installed": [dict(i) for i in self.installed],
                    "channels": {str(k): v for k, v in self.channels.items()}}
