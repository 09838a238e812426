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
                   replacing the lockdown values                    {}
  faults           see below                                        {}

Lockdown values: root DeviceName, ProductType, ProductVersion,
UniqueDeviceID, DeviceClass, BuildVersion, SerialNumber, WiFiAddress,
DevicePublicKey...; domains "com.apple.mobile.backup", "com.apple.disk_usage",
"com.apple.iTunes", "com.apple.mobile.iTunes", "com.apple.mobile.battery",
"com.apple.international". Without a session only root values are given.
Services: notification_proxy, afc (a private writable folder holding the
sync lock file), house_arrest, mobilebackup2; any other is InvalidService.

faults (each optional):
  stall                 a point or a list of points that never answer (the
                        connection is held until the client gives up):
                        "usbmuxd_list", "lockdown_session",
                        "lockdown_get_value", "house_arrest", "afc_list",
                        "afc_info", "afc_open", "afc_read", "backup"
  drop_after_bytes      N: after N bytes of AFC file data in all, the answer
                        is cut short, the connection closed and the phone
                        detached (Detached pushed to listeners)
  afc_read_error        status code answered to FILE_READ (e.g. 4, 20)
  afc_read_error_path   only for paths containing this text
  afc_list_error        status code answered to READ_DIR
  afc_list_error_path   only for paths containing this text
  afc_hostile           answer to an AFC request: "huge_entire" (entire
                        length 2^62), "unknown_op" (operation 0x7777),
                        "bad_magic", "wrong_packet_num", "short_this" (this
                        length 8), "truncated" (data promised, not sent)
  afc_hostile_op        the request it answers: "READ_DIR", "GET_FILE_INFO",
                        "FILE_OPEN", "FILE_READ", ... or "any" (default)
  lockdown_hostile      answer to GetValue inside a session: "huge_length",
                        "zero_length", "garbage"
  house_arrest_hostile  the same kinds, answered to VendContainer
  usbmuxd_hostile       the same kinds, for the ListDevices answer
                        (usbmuxd header length) while this phone is attached
  services_refused      [service names] answered InvalidService
  backup_error          N or {"code": N, "description": "..."}: the phone
                        aborts the backup with this ErrorCode
  backup_drop           true: the phone closes mobilebackup2 after the
                        Backup request ("Backup Aborted.")
  backup_no_status      true: Status.plist is not uploaded ("Backup Failed
                        (Error Code 0)." with exit status 0)

Control port: one JSON object per line, one JSON answer per line, each
{"ok": true, ...} or {"ok": false, "error": "..."}:
  {"cmd": "attach", "device": DEVICE}          -> {"ok", "device_id"}
  {"cmd": "detach", "udid": U}                 (Detached pushed)
  {"cmd": "set", "udid": U, KEY: VALUE, ...}   any DEVICE key; "faults"
                                               replaces the whole set;
                                               "paired" adds/drops the record
  {"cmd": "log", "udid": U}                    -> {"ok", "log": [entries]}
      entries like {"service": "afc", "op": "FILE_READ", "path": "/...",
      "length": N}, {"service": "lockdownd", "request": "StartService",
      "name": "com.apple.afc"}, {"service": "house_arrest", "command":
      "VendContainer", "identifier": "com.kik.chat"}
  {"cmd": "clear_log", "udid": U}
  {"cmd": "stop"}
"""
import argparse
import copy
import json
import os
import plistlib
import shutil
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from iphone_afc import Afc, serve_house_arrest  # noqa: E402
from iphone_backup import MobileBackup2, serve_notification_proxy  # noqa: E402
from iphone_lockdown import LOCKDOWN_PORT, SERVICE_PORTS, Lockdown  # noqa: E402
from iphone_wire import Closed, Conn  # noqa: E402

DEFAULTS = {"name": "Emu iPhone", "product_type": "iPhone12,1", "product_version": "16.7",
            "paired": True, "pairing": "ok", "ssl_session": True, "kik_container": None,
            "apps": {}, "backup_source": None, "icloud_backup": False, "will_encrypt": False,
            "values": {}, "faults": {}}
PAIRINGS = ("ok", "pending", "denied", "passcode", "invalid_host")
MAX_LOG = 200000
RESULT_OK, RESULT_BADCOMMAND, RESULT_BADDEV, RESULT_CONNREFUSED, RESULT_BADVERSION = 0, 1, 2, 3, 6


def checked_device(cfg):
    if not isinstance(cfg, dict) or not isinstance(cfg.get("udid"), str) or not cfg["udid"]:
        raise ValueError("a device needs a udid")
    unknown = set(cfg) - set(DEFAULTS) - {"udid"}
    if unknown:
        raise ValueError("unknown device keys: %s" % ", ".join(sorted(unknown)))
    merged = dict(DEFAULTS)
    merged.update(cfg)
    if merged["pairing"] not in PAIRINGS:
        raise ValueError("pairing must be one of %s" % ", ".join(PAIRINGS))
    if not isinstance(merged["faults"] or {}, dict):
        raise ValueError("faults must be an object")
    merged["faults"] = merged["faults"] or {}
    return merged


class Device:
    def __init__(self, cfg, device_id, emu):
        self.cfg = cfg
        self.udid = cfg["udid"]
        self.device_id = device_id
        self.emu = emu
        self.lock = threading.Lock()
        self.ports = {LOCKDOWN_PORT}
        self.conns = set()
        self.bytes_served = 0
        self.media = tempfile.mkdtemp(prefix="media-", dir=emu.tmp)

    def snapshot(self):
        with self.lock:
            return copy.deepcopy(self.cfg)

    def get(self, key):
        with self.lock:
            return self.cfg.get(key)

    def update(self, changes):
        with self.lock:
            merged = dict(self.cfg)
            merged.update(changes)
            self.cfg = checked_device(merged)

    def set_value(self, domain, key, value):
        with self.lock:
            self.cfg.setdefault("values", {}).setdefault(domain, {})[key] = value

    def fault(self, name):
        with self.lock:
            return self.cfg["faults"].get(name)

    def stalls(self, point):
        points = self.fault("stall") or []
        return point == points or (isinstance(points, list) and point in points)

    def path_fault(self, name, path):
        code = self.fault(name)
        where = self.fault(name + "_path")
        if code is None or (where and where not in (path or "")):
            return None
        return int(code)

    def take_bytes(self, n):
        """How many of n file bytes may still be served before the drop."""
        limit = self.fault("drop_after_bytes")
        with self.lock:
            if limit is None:
                return n
            allowed = max(0, min(n, int(limit) - self.bytes_served))
            self.bytes_served += allowed
            return allowed

    def allow_port(self, port):
        with self.lock:
            self.ports.add(port)

    def port_open(self, port):
        with self.lock:
            return port in self.ports

    def app_container(self, bundle):
        with self.lock:
            if bundle == "com.kik.chat" and self.cfg.get("kik_container"):
                return self.cfg["kik_container"]
            return (self.cfg.get("apps") or {}).get(bundle)

    def log(self, service, **fields):
        entry = {"service": service}
        entry.update({k: v for k, v in fields.items() if v is not None})
        self.emu.add_log(self.udid, entry)

    def attached_record(self):
        props = {"ConnectionSpeed": 480000000, "ConnectionType": "USB",
                 "DeviceID": self.device_id, "LocationID": 0x14100000 + self.device_id,
                 "ProductID": 0x12A8, "SerialNumber": self.udid, "USBSerialNumber": self.udid}
        return {"DeviceID": self.device_id, "MessageType": "Attached", "Properties": props}


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
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
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
        ctx.minimum_version = ssl.TLSVersion.TLSv1_2
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
    def serve_usbmuxd(self, sock):
        conn = Conn(sock, self.stop, self.idle)
        try:
            for _ in range(100000):
                length, version, message, tag = struct.unpack("<IIII", conn.recv_exact(16))
                if length < 16 or length > (1 << 20):
                    raise Closed("unusable usbmuxd length")
                payload = conn.recv_exact(length - 16)
                if version != 1 or message != 8:
                    self.mux_send(conn, tag, {"MessageType": "Result", "Number": RESULT_BADVERSION})
                    continue
                try:
                    req = plistlib.loads(payload)
                except Exception:
                    req = None
                if not isinstance(req, dict):
                    self.mux_send(conn, tag, {"MessageType": "Result", "Number": RESULT_BADCOMMAND})
                    continue
                if self.mux_request(conn, tag, req) is False:
                    return
        except Closed:
            pass
        finally:
            conn.close()

    def mux_send(self, conn, tag, obj, hostile=None):
        data = plistlib.dumps(obj, fmt=plistlib.FMT_XML)
        if hostile == "huge_length":
            conn.send(struct.pack("<IIII", 0xFFFFFFF0, 1, 8, tag) + data)
            conn.hold()
        elif hostile == "zero_length":
            conn.send(struct.pack("<IIII", 0, 1, 8, tag))
            conn.hold()
        elif hostile == "garbage":
            conn.send(struct.pack("<IIII", 32, 1, 8, tag) + b"\x00\xffnot a plist at all\x00!!!!")
            conn.hold()
        conn.send(struct.pack("<IIII", 16 + len(data), 1, 8, tag) + data)

    def mux_request(self, conn, tag, req):
        kind = req.get("MessageType")

        def result(n):
            self.mux_send(conn, tag, {"MessageType": "Result", "Number": n})

        if kind == "ListDevices":
            with self.lock:
                devs = sorted(self.devices.values(), key=lambda d: d.device_id)
            for d in devs:
                if d.stalls("usbmuxd_list"):
                    conn.hold()
            hostile = next((d.fault("usbmuxd_hostile") for d in devs if d.fault("usbmuxd_hostile")), None)
            self.mux_send(conn, tag, {"DeviceList": [d.attached_record() for d in devs]}, hostile)
        elif kind == "Listen":
            result(RESULT_OK)
            self.listen(conn)
            return False
        elif kind == "ReadBUID":
            self.mux_send(conn, tag, {"BUID": self.buid})
        elif kind == "ReadPairRecord":
            with self.lock:
                data = self.records.get(req.get("PairRecordID"))
            if data:
                self.mux_send(conn, tag, {"PairRecordData": data})
            else:
                result(RESULT_BADDEV)
        elif kind == "SavePairRecord":
            data = req.get("PairRecordData")
            if isinstance(data, bytes) and req.get("PairRecordID"):
                self.save_pair_record(req["PairRecordID"], data)
                result(RESULT_OK)
            else:
                result(RESULT_BADCOMMAND)
        elif kind == "DeletePairRecord":
            self.delete_pair_record(req.get("PairRecordID"))
            result(RESULT_OK)
        elif kind == "Connect":
            dev = self.device(device_id=req.get("DeviceID"))
            port = socket.ntohs(int(req.get("PortNumber") or 0) & 0xFFFF)
            if dev is None:
                result(RESULT_BADDEV)
            elif not dev.port_open(port):
                result(RESULT_CONNREFUSED)
            else:
                result(RESULT_OK)
                self.connect(conn, dev, port)
                return False
        else:
            result(RESULT_BADCOMMAND)

    def listen(self, conn):
        q = Listener(conn)
        with self.lock:
            devs = sorted(self.devices.values(), key=lambda d: d.device_id)
            self.listeners.add(q)
        try:
            for d in devs:
                q.push(d.attached_record())
            q.run(self)
        finally:
            with self.lock:
                self.listeners.discard(q)

    def connect(self, conn, dev, port):
        with dev.lock:
            dev.conns.add(conn)
        try:
            if port == LOCKDOWN_PORT:
                Lockdown(conn, dev, self).run()
            elif port == SERVICE_PORTS["com.apple.mobile.house_arrest"]:
                serve_house_arrest(conn, dev, self)
            elif port == SERVICE_PORTS["com.apple.afc"]:
                Afc(conn, dev, self, dev.media, writable=True, service="afc").run()
            elif port == SERVICE_PORTS["com.apple.mobile.notification_proxy"]:
                serve_notification_proxy(conn, dev, self)
            elif port == SERVICE_PORTS["com.apple.mobilebackup2"]:
                MobileBackup2(conn, dev, self).run()
        except Closed:
            pass
        finally:
            with dev.lock:
                dev.conns.discard(conn)

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


class Listener:
    """One Listen subscriber: pushes Attached/Detached until it hangs up."""

    def __init__(self, conn):
        self.conn = conn
        self.cond = threading.Condition()
        self.queue = []

    def push(self, message):
        with self.cond:
            self.queue.append(message)
            self.cond.notify()

    def run(self, emu):
        while not emu.stop.is_set():
            with self.cond:
                self.cond.wait_for(lambda: self.queue, timeout=0.5)
                pending, self.queue = self.queue, []
            for message in pending:
                emu.mux_send(self.conn, 0, message)
            if self.peer_closed():
                return

    def peer_closed(self):
        try:
            self.conn.sock.settimeout(0)
            return self.conn.sock.recv(1, socket.MSG_PEEK) == b""
        except (BlockingIOError, socket.timeout):
            return False
        except OSError:
            return True
        finally:
            try:
                self.conn.sock.settimeout(0.5)
            except OSError:
                pass


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
    with open(args.config, encoding="utf-8") as f:
        config = json.load(f)

    emu = Emulator(args.idle)
    try:
        for cfg in config.get("devices", []):
            emu.attach(cfg)
        mux = listening_socket()
        control = listening_socket()
        for server, handler in ((mux, emu.serve_usbmuxd), (control, emu.serve_control)):
            threading.Thread(target=serve_forever, args=(server, handler, emu.stop),
                             daemon=True).start()

        def watch_stdin():
            try:
                while sys.stdin.buffer.read(4096):
                    pass
            finally:
                emu.stop.set()

        threading.Thread(target=watch_stdin, daemon=True).start()
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
    os._exit(0)


if __name__ == "__main__":
    main()
