"""lockdownd of the emulated iPhone (device port 62078)."""
import uuid

from iphone_wire import Closed

LOCKDOWN_PORT = 62078

# Service name -> device port it is started on.
SERVICE_PORTS = {
    "com.apple.mobile.notification_proxy": 49201,
    "com.apple.afc": 49202,
    "com.apple.mobile.house_arrest": 49203,
    "com.apple.mobilebackup2": 49204,
}

PAIRING_ERRORS = {
    "pending": "PairingDialogResponsePending",
    "denied": "UserDeniedPairing",
    "passcode": "PasswordProtected",
    "invalid_host": "InvalidHostID",
}


def device_values(dev, public_key):
    """Every lockdown domain this phone answers; "" is the root domain."""
    c = dev.snapshot()
    udid = c["udid"]
    digits = "".join(ch for ch in udid if ch.isalnum()).upper()
    root = {
        "DeviceName": c["name"],
        "ProductType": c["product_type"],
        "ProductVersion": c["product_version"],
        "UniqueDeviceID": udid,
        "DeviceClass": "iPhone",
        "ProductName": "iPhone OS",
        "BuildVersion": "20H19",
        "SerialNumber": ("F2L" + digits)[:12],
        "HardwareModel": "N104AP",
        "CPUArchitecture": "arm64e",
        "ActivationState": "Activated",
        "PasswordProtected": c["pairing"] == "passcode",
        "WiFiAddress": "a4:d1:8c:00:00:%02x" % (dev.device_id % 256),
        "BluetoothAddress": "a4:d1:8c:00:01:%02x" % (dev.device_id % 256),
        "PhoneNumber": "+1 555 0100",
        "MobileSubscriberCountryCode": "310",
        "MobileSubscriberNetworkCode": "260",
        "TimeZone": "Europe/Berlin",
        "UniqueChipID": 0x1A2B3C4D5E6F70,
        "DevicePublicKey": public_key,
        "HostAttached": True,
    }
    domains = {
        "": root,
        "com.apple.mobile.backup": {
            "WillEncrypt": bool(c["will_encrypt"]),
            "RequiresEncrypt": False,
            "CloudBackupEnabled": bool(c["icloud_backup"]),
        },
        "com.apple.disk_usage": {
            "TotalDiskCapacity": 64000000000,
            "TotalDataCapacity": 54000000000,
            "TotalDataAvailable": 21000000000,
            "AmountDataAvailable": 21000000000,
            "AmountDataReserved": 200000000,
            "TotalSystemCapacity": 10000000000,
            "TotalSystemAvailable": 1500000000,
        },
        "com.apple.iTunes": {"MinITunesVersion": "12.5.1"},
        "com.apple.mobile.iTunes": {"MinITunesVersion": "12.5.1"},
        "com.apple.mobile.battery": {"BatteryCurrentCapacity": 87, "BatteryIsCharging": False},
        "com.apple.international": {"Locale": "en_US", "Language": "en"},
    }
    for domain, extra in (c.get("values") or {}).items():
        target = domains.setdefault(domain, {})
        for key, value in (extra or {}).items():
            if value is None:
                target.pop(key, None)
            else:
                target[key] = value
    return domains


class Lockdown:
    def __init__(self, conn, dev, emu):
        self.conn = conn
        self.dev = dev
        self.emu = emu
        self.session = None

    def run(self):
        for _ in range(100000):
            req = self.conn.recv_plist()
            if not isinstance(req, dict):
                raise Closed("lockdown request is not a dictionary")
            name = req.get("Request")
            self.dev.log("lockdownd", request=name, domain=req.get("Domain"),
                         key=req.get("Key"), name=req.get("Service"))
            reply = {"Request": name if isinstance(name, str) else ""}
            handler = getattr(self, "do_" + str(name), None)
            if handler is None:
                reply["Error"] = "InvalidRequest"
            elif handler(req, reply) is False:
                continue
            self.conn.send_plist(reply)
            if name == "Goodbye":
                return

    def do_QueryType(self, req, reply):
        if self.dev.stalls("lockdown_query"):
            self.conn.hold(self.dev.fault("stall_seconds"))
        reply["Type"] = "com.apple.mobile.lockdown"

    def do_GetValue(self, req, reply):
        if self.session and self.dev.fault("lockdown_hostile"):
            self.conn.send_hostile(self.dev.fault("lockdown_hostile"), self.dev.fault("stall_seconds"))
        if self.dev.stalls("lockdown_get_value"):
            self.conn.hold(self.dev.fault("stall_seconds"))
        domain = req.get("Domain") or ""
        key = req.get("Key")
        if not isinstance(domain, str) or not isinstance(key, (str, type(None))):
            reply["Error"] = "MissingValue"
            return
        if domain and not self.session:
            reply["Error"] = "GetProhibited"
            return
        values = device_values(self.dev, self.emu.public_key_pem)
        if domain:
            reply["Domain"] = domain
        if key:
            reply["Key"] = key
        if domain not in values or (key and key not in values[domain]):
            reply["Error"] = "MissingValue"
            return
        reply["Value"] = values[domain][key] if key else values[domain]

    def do_SetValue(self, req, reply):
        if not self.session:
            reply["Error"] = "SetProhibited"
            return
        domain = req.get("Domain") or ""
        key = req.get("Key")
        if not key or "Value" not in req:
            reply["Error"] = "MissingValue"
            return
        self.dev.set_value(domain, key, req["Value"])

    def do_StartSession(self, req, reply):
        if self.dev.stalls("lockdown_session"):
            self.conn.hold(self.dev.fault("stall_seconds"))
        error = self.host_error(req.get("HostID"))
        if error:
            reply["Error"] = error
            return
        self.session = str(uuid.uuid4()).upper()
        use_ssl = bool(self.dev.get("ssl_session"))
        reply["SessionID"] = self.session
        reply["EnableSessionSSL"] = use_ssl
        self.conn.send_plist(reply)
        if use_ssl:
            self.conn.start_tls(self.emu.ssl_context)
        return False

    def do_StopSession(self, req, reply):
        if not self.session or req.get("SessionID") != self.session:
            reply["Error"] = "InvalidSessionID"
            return
        self.session = None
        self.conn.send_plist(reply)
        if self.conn.tls is not None:
            self.conn.stop_tls()
        return False

    def host_error(self, host_id):
        if self.dev.get("pairing") == "invalid_host":
            return "InvalidHostID"
        record = self.emu.pair_record(self.dev.udid)
        if record is None or not host_id or record.get("HostID") != host_id:
            return "InvalidHostID"
        return None

    def do_Pair(self, req, reply):
        pairing = self.dev.get("pairing")
        record = req.get("PairRecord")
        if pairing != "ok":
            reply["Error"] = PAIRING_ERRORS.get(pairing, "PairingFailed")
        elif not isinstance(record, dict) or not record.get("HostID"):
            reply["Error"] = "InvalidPairRecord"
        else:
            reply["EscrowBag"] = self.emu.escrow_bag

    def do_ValidatePair(self, req, reply):
        record = req.get("PairRecord") or {}
        error = self.host_error(record.get("HostID") if isinstance(record, dict) else None)
        if error:
            reply["Error"] = error

    def do_Unpair(self, req, reply):
        self.emu.delete_pair_record(self.dev.udid)

    def do_StartService(self, req, reply):
        service = req.get("Service")
        reply["Service"] = service
        if not self.session:
            reply["Error"] = "SessionInactive"
            return
        refused = self.dev.fault("services_refused") or []
        port = SERVICE_PORTS.get(service)
        if port is None or service in refused:
            reply["Error"] = "InvalidService"
            return
        self.dev.allow_port(port)
        reply["Port"] = port
        reply["EnableServiceSSL"] = False

    def do_Goodbye(self, req, reply):
        pass
