"""The phones attached to the emulated adb server, and its port forwards."""
import socket
import threading

from emu_phone import Phone

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
        self.forwards = {}      # local port -> {"serial", "remote", "listener"}
        self.server_log = []

    def log(self, text):
        with self.lock:
            if len(self.server_log) < 100000:
                self.server_log.append(text)

    # -- phones -------------------------------------------------------------
    def attach(self, config):
        with self.lock:
            serial = config.get("serial", "EMU0001")
            if self.find(serial, any_presence=True):
                self.detach(serial)
            phone = Phone(config, self.next_transport)
            self.next_transport += 1
            self.phones.append(phone)
            return phone

    def detach(self, serial):
        with self.lock:
            phone = self.find(serial, any_presence=True)
            if phone is None:
                return False
            self.phones.remove(phone)
        phone.go_away()
        self.drop_forwards(serial)
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
    def add_forward(self, local, serial, remote, listener):
        with self.lock:
            old = self.forwards.pop(local, None)
            self.forwards[local] = {"serial": serial, "remote": remote, "listener": listener}
        if old:
            _close(old["listener"])

    def remove_forward(self, local):
        with self.lock:
            old = self.forwards.pop(local, None)
        if old:
            _close(old["listener"])
        return old is not None

    def drop_forwards(self, serial=None):
        with self.lock:
            ports = [p for p, f in self.forwards.items() if serial is None or f["serial"] == serial]
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
