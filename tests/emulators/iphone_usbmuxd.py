"""The emulated usbmuxd: device list, Listen events, pair records and
Connect, after which a connection is a pipe to one port of one phone."""
import plistlib
import socket
import struct
import sys
import threading

from iphone_afc import Afc, serve_house_arrest
from iphone_backup import MobileBackup2, serve_notification_proxy
from iphone_lockdown import LOCKDOWN_PORT, SERVICE_PORTS, Lockdown
from iphone_wire import Closed, Conn

RESULT_OK, RESULT_BADCOMMAND, RESULT_BADDEV, RESULT_CONNREFUSED, RESULT_BADVERSION = 0, 1, 2, 3, 6
MAX_MESSAGE = 1 << 20


def mux_send(conn, tag, obj, hostile=None, seconds=None):
    data = plistlib.dumps(obj, fmt=plistlib.FMT_XML)
    if hostile == "huge_length":
        conn.send(struct.pack("<IIII", 0xFFFFFFF0, 1, 8, tag) + data)
        conn.hold(seconds)
    elif hostile == "zero_length":
        conn.send(struct.pack("<IIII", 0, 1, 8, tag))
        conn.hold(seconds)
    elif hostile == "length_only":
        conn.send(struct.pack("<IIII", 16 + len(data), 1, 8, tag))
        conn.hold(seconds)
    elif hostile == "garbage":
        conn.send(struct.pack("<IIII", 32, 1, 8, tag) + b"\x00\xffnot a plist at all\x00!!!!")
        conn.hold(seconds)
    conn.send(struct.pack("<IIII", 16 + len(data), 1, 8, tag) + data)


class Usbmuxd:
    """Serves usbmuxd clients over the phones of an emulator's registry."""

    def __init__(self, emu):
        self.emu = emu

    def serve(self, sock):
        conn = Conn(sock, self.emu.stop, self.emu.idle)
        try:
            for _ in range(100000):
                length, version, message, tag = struct.unpack("<IIII", conn.recv_exact(16))
                if length < 16 or length > MAX_MESSAGE:
                    raise Closed("unusable usbmuxd length")
                payload = conn.recv_exact(length - 16)
                if version != 1 or message != 8:
                    mux_send(conn, tag, {"MessageType": "Result", "Number": RESULT_BADVERSION})
                    continue
                try:
                    req = plistlib.loads(payload)
                except Exception:
                    req = None
                if not isinstance(req, dict):
                    mux_send(conn, tag, {"MessageType": "Result", "Number": RESULT_BADCOMMAND})
                    continue
                if self.mux_request(conn, tag, req) is False:
                    return
        except Closed:
            pass
        except Exception as e:  # a fault of the emulator itself: say so, drop the link
            sys.stderr.write("iphone emulator: usbmuxd: %r\n" % (e,))
        finally:
            conn.close()

    def mux_request(self, conn, tag, req):
        kind = req.get("MessageType")

        def result(n):
            mux_send(conn, tag, {"MessageType": "Result", "Number": n})

        if kind == "ListDevices":
            with self.emu.lock:
                devs = sorted(self.emu.devices.values(), key=lambda d: d.device_id)
            for d in devs:
                if d.stalls("usbmuxd_list"):
                    conn.hold(d.fault("stall_seconds"))
            odd = next((d for d in devs if d.fault("usbmuxd_hostile")), None)
            mux_send(conn, tag, {"DeviceList": [d.attached_record() for d in devs]},
                          odd and odd.fault("usbmuxd_hostile"), odd and odd.fault("stall_seconds"))
        elif kind == "Listen":
            result(RESULT_OK)
            self.listen(conn)
            return False
        elif kind == "ReadBUID":
            mux_send(conn, tag, {"BUID": self.emu.buid})
        elif kind == "ReadPairRecord":
            with self.emu.lock:
                data = self.emu.records.get(req.get("PairRecordID"))
            if data:
                mux_send(conn, tag, {"PairRecordData": data})
            else:
                result(RESULT_BADDEV)
        elif kind == "SavePairRecord":
            data = req.get("PairRecordData")
            if isinstance(data, bytes) and req.get("PairRecordID"):
                self.emu.save_pair_record(req["PairRecordID"], data)
                result(RESULT_OK)
            else:
                result(RESULT_BADCOMMAND)
        elif kind == "DeletePairRecord":
            self.emu.delete_pair_record(req.get("PairRecordID"))
            result(RESULT_OK)
        elif kind == "Connect":
            dev = self.emu.device(device_id=req.get("DeviceID"))
            port = socket.ntohs(int(req.get("PortNumber") or 0) & 0xFFFF)
            if dev is not None and dev.stalls("usbmuxd_connect"):
                conn.hold(dev.fault("stall_seconds"))
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
        with self.emu.lock:
            devs = sorted(self.emu.devices.values(), key=lambda d: d.device_id)
            self.emu.listeners.add(q)
        try:
            for d in devs:
                q.push(d.attached_record())
            q.run(self.emu.stop)
        finally:
            with self.emu.lock:
                self.emu.listeners.discard(q)

    def connect(self, conn, dev, port):
        with dev.lock:
            dev.conns.add(conn)
        try:
            if port == LOCKDOWN_PORT:
                Lockdown(conn, dev, self.emu).run()
            elif port == SERVICE_PORTS["com.apple.mobile.house_arrest"]:
                serve_house_arrest(conn, dev, self.emu)
            elif port == SERVICE_PORTS["com.apple.afc"]:
                Afc(conn, dev, self.emu, dev.media, writable=True, service="afc").run()
            elif port == SERVICE_PORTS["com.apple.mobile.notification_proxy"]:
                serve_notification_proxy(conn, dev, self.emu)
            elif port == SERVICE_PORTS["com.apple.mobilebackup2"]:
                MobileBackup2(conn, dev, self.emu).run()
        except Closed:
            pass
        except Exception as e:  # a fault of the emulator itself: say so, drop the link
            sys.stderr.write("iphone emulator: port %d: %r\n" % (port, e))
        finally:
            with dev.lock:
                dev.conns.discard(conn)
                dev.observers = [(c, n) for c, n in dev.observers if c is not conn]


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

    def run(self, stop):
        while not stop.is_set():
            with self.cond:
                self.cond.wait_for(lambda: self.queue, timeout=0.5)
                pending, self.queue = self.queue, []
            for message in pending:
                mux_send(self.conn, 0, message)
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
