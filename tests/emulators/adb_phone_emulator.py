#!/usr/bin/python3
"""An adb server with emulated Android phones, for tests that run the real
`adb` client (ADB_SERVER_SOCKET=tcp:127.0.0.1:PORT) against it.

  adb_phone_emulator.py --config CONFIG.json [--lifetime SECONDS]

Prints one line {"adb_port": N, "control_port": M} once it listens, then
serves until its standard input reaches end of file, a "stop" control
request arrives, or the lifetime (default 600 s) runs out. Binds 127.0.0.1
only. Standard library only. A bad configuration (unknown keys, no root)
is one line on standard error and exit status 2.

CONFIG.json: {"phones": [PHONE, ...]}. PHONE keys (all optional but root):
  serial          adb serial ("EMU0001")
  state           the device-list state: "device", "unauthorized", "offline"
                  or another word; only "device" phones take services
  manufacturer, model, device, product
                  properties (ro.product.*) and the devices -l fields
  release, sdk    ro.build.version.release (text) and .sdk (number)
  rooted          su works (as root) when true; otherwise "su" is missing
  su_denied       rooted, but the user refuses root: su (and $sucmd) fail
                  with status 1 "Permission denied"; the helper still
                  reports root=1
  root            host folder of the phone: <root>/data/data/PKG is the app
                  folder, <root>/sdcard the shared storage
  shared_storage  false: the phone has no shared storage (/sdcard missing,
                  no storage1 in the helper's device information)
  storage_path    the helper's storage1 value ("/storage/emulated/0/")
  helper          the helper app com.velloran.marrowlink: "absent" (not
                  installed; an install makes it "installed"), "installed",
                  "error" ($error: answers), "garbage" (unreadable answers),
                  "stall" (never answers after "$ready:"), "old" (no version)
  helper_version  the version key of the device information (312)
  imei, uid       device-information keys (uid defaults to the serial)
  backup          what `adb backup` yields: "normal" (a version 5 archive of
                  the app folders), "android12" (the 47-byte empty archive),
                  "encrypted" (AES-256 header), "refused" (no bytes)
  restore         what `adb restore` does: "normal" (the app's data is
                  replaced), "ignored", "refused"; default follows backup
                  ("android12" -> ignored, "encrypted"/"refused" -> refused)
  confirm         "auto" (default) or "wait": a backup or restore waits for
                  the user's answer, given through the control port
                  ("confirm"/"deny"; no answer within 120 s counts as no)
  gone_after_bytes  after this many bytes of any transfer (pull, push,
                  backup, restore, install, helper blocks) the connection
                  drops and the phone leaves the device list; null: never
  packages        more installed packages for `pm list packages`
                  (kik.android is listed when its app folder exists)
  install_package the package an install registers (the helper's)
  install_result  "Success" or a failure line such as
                  "Failure [INSTALL_FAILED_INSUFFICIENT_STORAGE]"
  app_uids        {package: uid} for ownership in ls -l / stat
  block_size      the helper's download block size (65536)
  wifi_port       the helper's WiFi control port on 127.0.0.1 (null: none);
                  read when the phone is attached
  features        the feature list the phone offers

Services: host:version (41), host:devices[-l], host-serial:S:features,
host:tport:serial:S (and transport, any, usb, id), get-state, forward,
killforward, list-forward, host:kill (answered and logged; the emulator
keeps serving, so a program that stops "its" adb server does not end the
test's phones); on a phone: shell (v2 and v1), exec, abb_exec install,
sync (STAT, STA2, LST2, LIST, RECV, SEND), backup, restore, tcp:PORT.

Control port: one JSON object per line, one JSON answer per line
({"ok": true, ...} or {"ok": false, "error": TEXT}):
  {"cmd": "attach", "phone": PHONE}       plug a phone in (replaces a same serial);
                                          a PHONE of only {"serial"} plugs a phone
                                          that went away back in, same options
  {"cmd": "detach", "serial": S}          unplug it (its connections drop)
  {"cmd": "set", "serial": S, KEY: VALUE} change options of a phone
  {"cmd": "log", "serial": S}             -> "log": [{"kind", "text", ...}]:
        "service" (adb service requests), "shell" (every command line run,
        with "user"), "sync" (STAT/RECV/SEND path), "helper" (helper
        requests), "helper-su" (with "status"), "install", "restore",
        "force-stop", "forward", "prompt" (a backup or restore asks the
        user, with "answer" when it was given ahead); without serial: the
        server's requests
  {"cmd": "files", "serial": S}           -> "files": {path: {mode, owner, group,
        context}}, "ops": chmod/chown/restorecon changes in order,
        "installed": installs, "channels": helper ports told by broadcast
  {"cmd": "confirm", "serial": S}         the user agrees to the backup or
  {"cmd": "deny", "serial": S}            restore shown now (or the next one);
                                          -> "waiting": whether one was shown
  {"cmd": "stop"}                         the emulator exits
"""
import argparse
import json
import os
import socket
import sys
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True  # keep the source tree clean

from adb_session import Session  # noqa: E402
from adb_registry import Registry  # noqa: E402

CONTROL_TIMEOUT = 120.0


def listen():
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.bind(("127.0.0.1", 0))
    sock.listen(64)
    return sock


def serve_adb(listener, registry):
    while True:
        client, _ = listener.accept()
        threading.Thread(target=Session(client, registry).run, daemon=True).start()


def control_request(registry, request):
    cmd = request.get("cmd")
    if cmd == "attach":
        phone = registry.attach(request["phone"])
        return {"transport_id": phone.transport_id}
    if cmd == "stop":
        os._exit(0)
    if cmd == "log" and "serial" not in request:
        with registry.lock:
            return {"log": list(registry.server_log)}
    serial = request.get("serial")
    if cmd == "detach":
        if not registry.detach(serial):
            raise ValueError("no phone %s" % serial)
        return {}
    phone = registry.find(serial, any_presence=True)
    if phone is None:
        raise ValueError("no phone %s" % serial)
    if cmd == "set":
        phone.update({k: v for k, v in request.items() if k not in ("cmd", "serial")})
        return {}
    if cmd == "log":
        with phone.lock:
            return {"log": list(phone.log_entries)}
    if cmd == "files":
        return phone.side_table()
    if cmd in ("confirm", "deny"):
        return {"waiting": phone.answer_user(cmd)}
    raise ValueError("unknown command %r" % cmd)


def serve_control_client(sock, registry):
    sock.settimeout(CONTROL_TIMEOUT)
    reader = sock.makefile("rb")
    try:
        for line in reader:
            if not line.strip():
                continue
            try:
                answer = control_request(registry, json.loads(line))
                answer["ok"] = True
            except (ValueError, KeyError, TypeError, OSError) as e:
                answer = {"ok": False, "error": str(e)}
            sock.sendall(json.dumps(answer).encode() + b"\n")
    except OSError:
        pass
    finally:
        sock.close()


def serve_control(listener, registry):
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve_control_client, args=(client, registry),
                         daemon=True).start()


def watch_stdin():
    while sys.stdin.buffer.read(65536):
        pass
    os._exit(0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--config", required=True)
    parser.add_argument("--lifetime", type=float, default=600.0)
    args = parser.parse_args()
    registry = Registry()
    try:
        with open(args.config, encoding="utf-8") as f:
            config = json.load(f)
        for phone in config.get("phones", []):
            registry.attach(phone)
    except (OSError, ValueError, TypeError, AttributeError) as e:
        sys.stderr.write("adb phone emulator: bad configuration: %s\n" % e)
        sys.exit(2)
    adb, control = listen(), listen()
    threading.Thread(target=serve_adb, args=(adb, registry), daemon=True).start()
    threading.Thread(target=serve_control, args=(control, registry), daemon=True).start()
    threading.Thread(target=watch_stdin, daemon=True).start()
    sys.stdout.write(json.dumps({"adb_port": adb.getsockname()[1],
                                 "control_port": control.getsockname()[1]}) + "\n")
    sys.stdout.flush()
    threading.Event().wait(args.lifetime)
    os._exit(0)


if __name__ == "__main__":
    main()
