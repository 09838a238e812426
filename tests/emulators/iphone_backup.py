"""notification_proxy and mobilebackup2 (over DeviceLink) of the emulated
iPhone. mobilebackup2 uploads a prepared backup folder file by file."""
import os
import struct
import time

from iphone_wire import Closed

BLOCK = 65536
CODE_SUCCESS, CODE_FILE_DATA = 0x00, 0x0C
CANCEL_NOTIFICATION = "com.apple.itunes-client.syncCancelRequest"
# Written last, in this order, after the content files.
LAST_FILES = ["Manifest.db", "Manifest.db-wal", "Manifest.db-shm", "Manifest.mbdb",
              "Manifest.plist", "Status.plist"]


def serve_notification_proxy(conn, dev, emu):
    for _ in range(100000):
        req = conn.recv_plist()
        if not isinstance(req, dict):
            raise Closed("notification_proxy request is not a dictionary")
        command = req.get("Command")
        dev.log("notification_proxy", command=command, name=req.get("Name"))
        if command == "ObserveNotification" and isinstance(req.get("Name"), str):
            dev.observe(conn, req["Name"])
        if command == "Shutdown":
            conn.send_plist({"Command": "ProxyDeath"})
            return


def backup_files(source):
    """Backup-relative paths of the prepared folder, content files first.
    Info.plist is the computer's own and is not sent."""
    found = []
    for folder, dirs, files in os.walk(source):
        dirs.sort()
        for name in sorted(files):
            rel = os.path.relpath(os.path.join(folder, name), source)
            if rel != "Info.plist" and not os.path.islink(os.path.join(folder, name)):
                found.append(rel)
    last = [f for f in LAST_FILES if f in found]
    return [f for f in found if f not in last] + last


class MobileBackup2:
    def __init__(self, conn, dev, emu):
        self.conn = conn
        self.dev = dev
        self.emu = emu

    def send(self, message):
        self.conn.send_plist(message, binary=True)

    def process_message(self, body):
        self.send(["DLMessageProcessMessage", body])

    def expect_status(self):
        reply = self.conn.recv_plist()
        if not isinstance(reply, list) or not reply or reply[0] != "DLMessageStatusResponse":
            raise Closed("expected a status response")
        return reply[1] if len(reply) > 1 else None

    def run(self):
        self.send(["DLMessageVersionExchange", 300, 0])
        reply = self.conn.recv_plist()
        if not isinstance(reply, list) or reply[:2] != ["DLMessageVersionExchange", "DLVersionsOk"]:
            raise Closed("version exchange refused")
        self.send(["DLMessageDeviceReady"])
        for _ in range(100000):
            message = self.conn.recv_plist()
            if not isinstance(message, list) or not message:
                raise Closed("DeviceLink message is not an array")
            if message[0] == "DLMessageDisconnect":
                self.dev.log("mobilebackup2", message="DLMessageDisconnect")
                return
            body = message[1] if len(message) > 1 else None
            if message[0] != "DLMessageProcessMessage" or not isinstance(body, dict):
                self.dev.log("mobilebackup2", message=str(message[0]))
                continue
            name = body.get("MessageName")
            self.dev.log("mobilebackup2", message=name, target=body.get("TargetIdentifier"))
            if name == "Hello":
                versions = body.get("SupportedProtocolVersions") or []
                if 2.1 in versions or 2.0 in versions:
                    self.process_message({"MessageName": "Response", "ErrorCode": 0,
                                          "ProtocolVersion": 2.1 if 2.1 in versions else 2.0})
                else:
                    self.process_message({"MessageName": "Response", "ErrorCode": 1})
            elif name == "Backup":
                self.backup(str(body.get("TargetIdentifier") or self.dev.udid))
            else:
                self.process_message({"ErrorCode": 0})

    def backup(self, target):
        if self.dev.stalls("backup"):
            self.conn.hold(self.dev.fault("stall_seconds"))
        if self.dev.fault("backup_drop"):
            raise Closed("the phone dropped the backup")
        if self.dev.fault("backup_cancel"):
            self.dev.notify(CANCEL_NOTIFICATION)
            # The tool's notification thread polls twice a second.
            time.sleep(1.5)
            self.process_message({"ErrorCode": 202, "ErrorDescription": "Cancelled by the user"})
            return
        error = self.dev.fault("backup_error")
        if error:
            code = error.get("code", 105) if isinstance(error, dict) else int(error)
            text = error.get("description", "Emulated failure") if isinstance(error, dict) \
                else "The backup was aborted on the phone"
            self.process_message({"ErrorCode": code, "ErrorDescription": text})
            return
        source = self.dev.get("backup_source")
        if not source or not os.path.isdir(source):
            self.process_message({"ErrorCode": 2, "ErrorDescription": "No backup data on the phone"})
            return
        files = backup_files(source)
        if self.dev.fault("backup_no_status"):
            files = [f for f in files if f != "Status.plist"]
        folders = sorted({os.path.dirname(f) for f in files if os.path.dirname(f)})
        for folder in folders:
            self.send(["DLMessageCreateDirectory", target + "/" + folder])
            self.expect_status()
        total = sum(os.path.getsize(os.path.join(source, f)) for f in files)
        self.send(["DLMessageUploadFiles", {}, 100.0, total])
        detach_after = self.dev.fault("backup_detach_after_files")
        for count, rel in enumerate(files):
            if detach_after is not None and count >= int(detach_after):
                self.emu.detach(self.dev.udid)
                raise Closed("the phone went away during the backup")
            self.upload(source, rel, target)
        self.conn.send(struct.pack(">I", 0))
        self.expect_status()
        self.process_message({"ErrorCode": 0})

    def upload(self, source, rel, target):
        device_path = ("/var/mobile/Library/Backup/" + rel).encode("utf-8")
        backup_path = (target + "/" + rel).encode("utf-8")
        self.dev.log("mobilebackup2", message="upload", path=rel)
        head = struct.pack(">I", len(device_path)) + device_path
        head += struct.pack(">I", len(backup_path)) + backup_path
        self.conn.send(head)
        with open(os.path.join(source, rel), "rb") as f:
            while True:
                chunk = f.read(BLOCK)
                if not chunk:
                    break
                self.conn.send(struct.pack(">IB", len(chunk) + 1, CODE_FILE_DATA) + chunk)
        self.conn.send(struct.pack(">IB", 1, CODE_SUCCESS))
