"""The phones attached to the emulated adb server, and its port forwards."""
import socket
import threading

import adb_helper_peer
from adb_phone import Phone

UNAUTHORIZED = ("device unauthorized.\nThis adb server's $ADB_VENDOR_KEYS is not set\n"
                "Try 'adb kill-server' if that seems wrong.\n"
                "Otherwise check for a confirmation dialog on your device.")
STATE_ERRORS = {"unauthorized": UNAUTHORIZED, "offline": "device offline",
                "authorizing": "device still authorizing",
                "connecting": "device still connecting"}


class Registry:
    def __init__(self):
        self.lock = threading.RLock()
        self.phones = []
        self.next_transport = 1
        self.forwards = {}      # local port -> {"serial", "phone", "remote", "listener"}
        self.known = {}         # serial -> last options of a detached phone
        self.server_log = []

    def log(self, text):
        with self.lock:
            if len(self.server_log) < 100000:
                self.server_log.append(text)

    # -- phones -------------------------------------------------------------
    def attach(self, config):
        """Plugs a phone in; a config holding only a serial plugs a phone
        that was there before back in with its last options."""
        with self.lock:
            serial = config.get("serial", "EMU0001")
            if set(config) == {"serial"}:
                present = self.find(serial, any_presence=True)
                if present is not None:
                    config = dict(present.cfg)
                elif serial in self.known:
                    config = self.known[serial]
                else:
                    raise ValueError("phone %s has no root folder (and was not attached before)" % serial)
            if self.find(serial, any_presence=True):
                self.detach(serial)
            phone = Phone(config, self.next_transport)
            self.next_transport += 1
            phone.on_gone = lambda: self.drop_forwards(phone=phone)
            if phone["wifi_port"]:
                phone.wifi_listener = adb_helper_peer.start_wifi(phone)
            self.phones.append(phone)
            return phone

    def detach(self, serial):
        with self.lock:
            phone = self.find(serial, any_presence=True)
            if phone is None:
                return False
            self.phones.remove(phone)
            self.known[serial] = dict(phone.cfg)
        phone.go_away()
        return True

    def find(self, serial, any_presence=False):
        with self.lock:
            for phone in self.phones:
                if phone.serial == serial and (any_presence or phone.present):
                    return phone
        return None

    def listed(self):
        with self.lock:
            return [p for p in self.phones if p.present]

    def select(self, how, value=None, any_state=False):
        """Picks a phone: how is "serial", "id", "any", "usb" or "local".
        Returns (phone, None) or (None, adb's error text)."""
        phones = self.listed()
        if how == "serial":
            candidates = [p for p in phones if p.serial == value]
            if not candidates:
                return None, "device '%s' not found" % value
        elif how == "id":
            candidates = [p for p in phones if str(p.transport_id) == str(value)]
            if not candidates:
                return None, "no device with transport id '%s'" % value
        elif how == "local":
            return None, "no emulators found"
        else:
            candidates = phones
            if not candidates:
                return None, "no devices/emulators found"
            if len(candidates) > 1:
                return None, "more than one device/emulator"
        phone = candidates[0]
        state = phone["state"]
        if state != "device" and not any_state:
            return None, STATE_ERRORS.get(state, "device %s" % state)
        return phone, None

    # -- forwards -------------------------------------------------------------
    def add_forward(self, local, phone, remote, listener):
        with self.lock:
            old = self.forwards.pop(local, None)
            self.forwards[local] = {"serial": phone.serial, "phone": phone, "remote": remote,
                                    "listener": listener}
        if old:
            _close(old["listener"])

    def remove_forward(self, local):
        with self.lock:
            old = self.forwards.pop(local, None)
        if old:
            _close(old["listener"])
        return old is not None

    def drop_forwards(self, phone=None):
        """Drops the forwards of one phone, or all of them."""
        with self.lock:
            ports = [p for p, f in self.forwards.items() if phone is None or f["phone"] is phone]
        for port in ports:
            self.remove_forward(port)

    def forward_list(self):
        with self.lock:
            return "".join("%s tcp:%d tcp:%d\n" % (f["serial"], port, f["remote"])
                           for port, f in sorted(self.forwards.items()))


def _close(sock):
    try:
        sock.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass
    try:
        sock.close()
    except OSError:
        pass
