"""One emulated iPhone: its settings, faults and what it was asked."""
import copy
import tempfile
import threading

from iphone_lockdown import LOCKDOWN_PORT
from iphone_wire import Closed

DEFAULTS = {"name": "Emu iPhone", "product_type": "iPhone12,1", "product_version": "16.7",
            "paired": True, "pairing": "ok", "ssl_session": True, "kik_container": None,
            "apps": {}, "backup_source": None, "icloud_backup": False, "will_encrypt": False,
            "values": {}, "faults": {}}
PAIRINGS = ("ok", "pending", "denied", "passcode", "invalid_host")
FAULTS = {"stall", "drop_after_bytes", "afc_read_error", "afc_read_error_path", "afc_list_error",
          "afc_list_error_path", "afc_hostile", "afc_hostile_op", "lockdown_hostile",
          "house_arrest_hostile", "usbmuxd_hostile", "services_refused", "backup_error",
          "backup_drop", "backup_no_status", "backup_cancel", "backup_detach_after_files",
          "stall_seconds", "vend_error"}
STALL_POINTS = {"usbmuxd_list", "usbmuxd_connect", "lockdown_query", "lockdown_session",
                "lockdown_get_value", "house_arrest", "afc_list", "afc_info", "afc_open",
                "afc_read", "backup"}


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
    unknown = set(merged["faults"]) - FAULTS
    if unknown:
        raise ValueError("unknown faults: %s" % ", ".join(sorted(unknown)))
    stall = merged["faults"].get("stall") or []
    unknown = set([stall] if isinstance(stall, str) else stall) - STALL_POINTS
    if unknown:
        raise ValueError("unknown stall points: %s" % ", ".join(sorted(map(str, unknown))))
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
        self.observers = []
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

    def observe(self, conn, name):
        with self.lock:
            self.observers.append((conn, name))

    def notify(self, name):
        """Relays a notification to every notification_proxy observing it."""
        with self.lock:
            targets = [c for c, n in self.observers if n == name]
        for conn in targets:
            try:
                conn.send_plist({"Command": "RelayNotification", "Name": name})
            except Closed:
                pass

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
