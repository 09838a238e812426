#!/usr/bin/python3
"""An emulated usbmuxd with iPhones behind it, for tests that run the real
libimobiledevice (and idevice_id, ideviceinfo, idevicebackup2) against it.

    /usr/bin/python3 iphone_emulator.py --config CONFIG.json [--lifetime S] [--idle S]

Prints one line {"usbmuxd_port": N, "control_port": M} on stdout once it
listens (127.0.0.1 only), then serves until its standard input reaches EOF,
a "stop" command arrives, or --lifetime seconds (default 600) have passed.
Clients select it with USBMUXD_SOCKET_ADDRESS=127.0.0.1:N. --idle (default
120) bounds how long any connection may stay silent.

CONFIG.json: {"devices": [DEVICE, ...]}; a DEVICE holds
  udid             string, the UDID (usbmuxd SerialNumber)           required
  name             DeviceName                        "Emu iPhone"
  product_type     ProductType                       "iPhone12,1"
  product_version  ProductVersion                    "16.7"
  paired           true: usbmuxd holds a pair record for this phone at
                   attach time; false: none (the client pairs)     true
  pairing          what the phone answers to Pair: "ok", "pending"
                   (PairingDialogResponsePending), "denied"
                   (UserDeniedPairing), "passcode" (PasswordProtected),
                   "invalid_host" (InvalidHostID; also refuses StartSession
                   and ValidatePair of a paired phone)             "ok"
  ssl_session      StartSession answers EnableSessionSSL with this  true
  kik_container    host folder served by house_arrest for "com.kik.chat"
                   (AFC root "/", read-only), or null: not installed,
                   VendContainer answers ApplicationLookupFailed    null
  apps             {bundle id: host folder} more containers         {}
  backup_source    a prepared backup folder (Manifest.db form) that
                   mobilebackup2 uploads, or null                   null
  icloud_backup    "com.apple.mobile.backup" CloudBackupEnabled     false
  will_encrypt     "com.apple.mobile.backup" WillEncrypt            false
  values           {domain ("" = root): {key: value}} added to or
                   replacing the lockdown values; null removes one {}
  faults           see below                                        {}

Lockdown values: root DeviceName, ProductType, ProductVersion,
UniqueDeviceID, DeviceClass, BuildVersion, SerialNumber, WiFiAddress,
DevicePublicKey...; domains "com.apple.mobile.backup", "com.apple.disk_usage",
"com.apple.iTunes", "com.apple.mobile.iTunes", "com.apple.mobile.battery",
"com.apple.international". Without a session only root values are given.
Services: notification_proxy, afc (a private writable folder holding the
sync lock file), house_arrest, mobilebackup2; any other is InvalidService.

faults (each optional; unknown names are refused):
  stall                 a point or a list of points that never answer (the
                        connection is held until the client gives up):
                        "usbmuxd_list", "usbmuxd_connect", "lockdown_query",
                        "lockdown_session", "lockdown_get_value",
                        "house_arrest", "afc_list", "afc_info", "afc_open",
                        "afc_read", "backup"
  stall_seconds         a stalled or hostile answer closes the connection
                        after this many seconds instead of waiting
  drop_after_bytes      N: after N bytes of AFC file data in all (counted
                        from attach, house_arrest and afc alike), the answer
                        is cut short, the connection closed and the phone
                        detached (Detached pushed to listeners)
  afc_read_error        status code answered to FILE_READ (e.g. 4, 20)
  afc_read_error_path   only for paths containing this text
  afc_list_error        status code answered to READ_DIR
  afc_list_error_path   only for paths containing this text
  afc_hostile           answer to an AFC request: "huge_entire" (entire
                        length 2^62), "entire_4g" (0xFFFFFFF0), "entire_2g"
                        (40 + 0x7FFFFF00, the data never comes),
                        "unknown_op" (operation 0x7777), "bad_magic",
                        "wrong_packet_num", "short_this" (this length 8),
                        "truncated" (data promised, not sent)
  afc_hostile_op        the request it answers: "READ_DIR", "GET_FILE_INFO",
                        "FILE_OPEN", "FILE_READ", ... or "any" (default)
  lockdown_hostile      answer to GetValue inside a session: "huge_length"
                        (0xFFFFFFF0), "zero_length", "length_only" (a length
                        of 200, then nothing), "garbage" (not a plist)
  house_arrest_hostile  the same kinds, answered to VendContainer
  usbmuxd_hostile       the same kinds, for the ListDevices answer
                        (usbmuxd header length) while this phone is attached
  vend_error            VendContainer answers {"Error": this text}, e.g.
                        "InstallationLookupFailed" (how iOS 8.3 and later
                        refuse App Store apps without file sharing)
  services_refused      [service names] answered InvalidService
  backup_error          N or {"code": N, "description": "..."}: the phone
                        aborts the backup with this ErrorCode
  backup_drop           true: the phone closes mobilebackup2 after the
                        Backup request ("Backup Aborted.")
  backup_no_status      true: Status.plist is not uploaded ("Backup Failed
                        (Error Code 0)." with exit status 0)
  backup_detach_after_files
                        N: the phone goes away (detached, connections
                        closed) after uploading N files. Beware: the real
                        idevicebackup2 1.3.0 then spins for ever and must be
                        killed; it prints "Backup Aborted." on SIGTERM
  backup_cancel         true: the user cancels on the phone: notification
                        "com.apple.itunes-client.syncCancelRequest" goes to
                        notification_proxy observers, 1.5 s later the phone
                        ends the backup with ErrorCode 202 ("User has
                        cancelled the backup process on the device.")

A backup uploads every file of backup_source as it is (Info.plist excepted:
the computer writes that), content files first, Manifest.* and Status.plist
last, into TargetIdentifier/ of the tool's folder.

Control port: one JSON object per line, one JSON answer per line, each
{"ok": true, ...} or {"ok": false, "error": "..."}:
  {"cmd": "attach", "device": DEVICE}          -> {"ok", "device_id"}
  {"cmd": "detach", "udid": U}                 (Detached pushed)
  {"cmd": "set", "udid": U, KEY: VALUE, ...}   any DEVICE key; "faults"
                                               replaces the whole set;
                                               "paired" adds/drops the record
  {"cmd": "log", "udid": U}                    -> {"ok", "log": [entries]}
      entries, oldest first, like
        {"service": "lockdownd", "request": "StartService", "name": "com.apple.afc"}
        {"service": "house_arrest", "command": "VendContainer", "identifier": "com.kik.chat"}
        {"service": "afc", "via": "house_arrest" (or "afc"), "op": "FILE_READ",
         "path": "/Documents/kik.sqlite", "length": 65536}
        {"service": "notification_proxy", "command": "PostNotification", "name": "..."}
        {"service": "mobilebackup2", "message": "upload", "path": "Manifest.db"}
  {"cmd": "clear_log", "udid": U}
  {"cmd": "stop"}
"""
import argparse
import json
import os
import plistlib
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import uuid
import warnings

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from iphone_device import Device, checked_device  # noqa: E402
from iphone_usbmuxd import Usbmuxd  # noqa: E402
from iphone_wire import Closed, Conn  # noqa: E402

MAX_LOG = 200000


class Emulator:
    def __init__(self, idle):
        self.idle = idle
        self.stop = threading.Event()
        self.lock = threading.Lock()
        self.devices = {}
        self.records = {}
        self.logs = {}
        self.listeners = set()
        self.next_id = 1
        self.buid = str(uuid.uuid4()).upper()
        self.escrow_bag = os.urandom(48)
        self.tmp = tempfile.mkdtemp(prefix="iphone-emu-")
        self.make_certificate()

    # -- identity ---------------------------------------------------------
    def make_certificate(self):
        key = os.path.join(self.tmp, "key.pem")
        cert = os.path.join(self.tmp, "cert.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:1024", "-nodes", "-keyout", key,
                        "-out", cert, "-days", "3650", "-subj", "/CN=Emulated iPhone"],
                       check=True, capture_output=True, timeout=60)
        pub = subprocess.run(["openssl", "rsa", "-in", key, "-RSAPublicKey_out"],
                             check=True, capture_output=True, timeout=60)
        self.public_key_pem = pub.stdout
        with open(cert, "rb") as f:
            self.cert_pem = f.read()
        with open(key, "rb") as f:
            self.key_pem = f.read()
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        # libimobiledevice offers TLS 1.0 only until it has read ProductVersion.
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            ctx.minimum_version = ssl.TLSVersion.TLSv1
        ctx.set_ciphers("ALL:@SECLEVEL=0")
        ctx.load_cert_chain(cert, key)
        ctx.verify_mode = ssl.CERT_NONE
        ctx.num_tickets = 0
        self.ssl_context = ctx

    def new_pair_record(self):
        return {"HostID": str(uuid.uuid4()).upper(), "SystemBUID": self.buid,
                "EscrowBag": self.escrow_bag, "HostCertificate": self.cert_pem,
                "RootCertificate": self.cert_pem, "DeviceCertificate": self.cert_pem,
                "WiFiMACAddress": "a4:d1:8c:00:00:01"}

    def pair_record(self, udid):
        with self.lock:
            data = self.records.get(udid)
        return plistlib.loads(data) if data else None

    def save_pair_record(self, udid, data):
        with self.lock:
            self.records[udid] = bytes(data)

    def delete_pair_record(self, udid):
        with self.lock:
            self.records.pop(udid, None)

    # -- devices ----------------------------------------------------------
    def attach(self, cfg):
        cfg = checked_device(cfg)
        with self.lock:
            if any(d.udid == cfg["udid"] for d in self.devices.values()):
                raise ValueError("already attached: %s" % cfg["udid"])
            dev = Device(cfg, self.next_id, self)
            self.next_id += 1
            self.devices[dev.device_id] = dev
            if cfg["paired"] and cfg["udid"] not in self.records:
                self.records[cfg["udid"]] = plistlib.dumps(self.new_pair_record())
            listeners = list(self.listeners)
        for q in listeners:
            q.push(dev.attached_record())
        return dev

    def detach(self, udid):
        with self.lock:
            found = [d for d in self.devices.values() if d.udid == udid]
            for d in found:
                del self.devices[d.device_id]
            listeners = list(self.listeners)
        for d in found:
            for q in listeners:
                q.push({"MessageType": "Detached", "DeviceID": d.device_id})
            with d.lock:
                conns = list(d.conns)
            for c in conns:
                c.close()
        return bool(found)

    def device(self, udid=None, device_id=None):
        with self.lock:
            for d in self.devices.values():
                if d.udid == udid or d.device_id == device_id:
                    return d
        return None

    def set(self, udid, changes):
        dev = self.device(udid=udid)
        if dev is None:
            raise ValueError("no such device: %s" % udid)
        dev.update(changes)
        if "paired" in changes:
            if changes["paired"] and self.pair_record(udid) is None:
                self.save_pair_record(udid, plistlib.dumps(self.new_pair_record()))
            elif not changes["paired"]:
                self.delete_pair_record(udid)

    def add_log(self, udid, entry):
        with self.lock:
            log = self.logs.setdefault(udid, [])
            if len(log) < MAX_LOG:
                log.append(entry)

    # -- usbmuxd ----------------------------------------------------------
    # -- control ----------------------------------------------------------
    def serve_control(self, sock):
        conn = Conn(sock, self.stop, self.idle * 10)
        try:
            for _ in range(100000):
                line = bytearray()
                while not line.endswith(b"\n"):
                    line += conn.recv_exact(1)
                    if len(line) > (1 << 20):
                        raise Closed("control line too long")
                try:
                    answer = self.command(json.loads(line))
                except (ValueError, KeyError, TypeError) as e:
                    answer = {"ok": False, "error": str(e)}
                conn.send(json.dumps(answer).encode() + b"\n")
                if answer.get("stopping"):
                    self.stop.set()
                    return
        except Closed:
            pass
        finally:
            conn.close()

    def command(self, cmd):
        name = cmd.get("cmd")
        if name == "attach":
            return {"ok": True, "device_id": self.attach(cmd.get("device")).device_id}
        if name == "detach":
            if not self.detach(cmd.get("udid")):
                raise ValueError("no such device: %s" % cmd.get("udid"))
            return {"ok": True}
        if name == "set":
            self.set(cmd.get("udid"), {k: v for k, v in cmd.items() if k not in ("cmd", "udid")})
            return {"ok": True}
        if name == "log":
            with self.lock:
                return {"ok": True, "log": list(self.logs.get(cmd.get("udid"), []))}
        if name == "clear_log":
            with self.lock:
                self.logs.pop(cmd.get("udid"), None)
            return {"ok": True}
        if name == "stop":
            return {"ok": True, "stopping": True}
        raise ValueError("unknown command: %s" % name)


def serve_forever(server, handler, stop):
    server.settimeout(0.5)
    while not stop.is_set():
        try:
            sock, _ = server.accept()
        except socket.timeout:
            continue
        except OSError:
            return
        threading.Thread(target=handler, args=(sock,), daemon=True).start()


def listening_socket():
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", 0))
    s.listen(64)
    return s


def main():
    ap = argparse.ArgumentParser(description="Emulated usbmuxd and iPhones for tests")
    ap.add_argument("--config", required=True)
    ap.add_argument("--lifetime", type=float, default=600)
    ap.add_argument("--idle", type=float, default=120)
    args = ap.parse_args()
    emu = Emulator(args.idle)
    try:
        try:
            with open(args.config, encoding="utf-8") as f:
                config = json.load(f)
            devices = config.get("devices", []) if isinstance(config, dict) else None
            if not isinstance(devices, list):
                raise ValueError("the configuration needs a list \"devices\"")
            for cfg in devices:
                emu.attach(cfg)
        except (OSError, ValueError) as e:
            sys.stderr.write("iphone emulator: bad configuration: %s\n" % e)
            sys.stderr.flush()
            shutil.rmtree(emu.tmp, ignore_errors=True)
            os._exit(2)
        mux = listening_socket()
        control = listening_socket()
        for server, handler in ((mux, Usbmuxd(emu).serve), (control, emu.serve_control)):
            threading.Thread(target=serve_forever, args=(server, handler, emu.stop),
                             daemon=True).start()

        def watch_stdin():
            try:
                while sys.stdin.buffer.read(4096):
                    pass
            finally:
                emu.stop.set()

        threading.Thread(target=watch_stdin, daemon=True).start()
        signal.signal(signal.SIGTERM, lambda *_: emu.stop.set())
        sys.stdout.write(json.dumps({"usbmuxd_port": mux.getsockname()[1],
                                     "control_port": control.getsockname()[1]}) + "\n")
        sys.stdout.flush()
        emu.stop.wait(args.lifetime)
        emu.stop.set()
        mux.close()
        control.close()
    finally:
        shutil.rmtree(emu.tmp, ignore_errors=True)
    sys.stdout.flush()
    os._exit(0)  # without waiting for connection threads still blocked in reads


if __name__ == "__main__":
    main()
