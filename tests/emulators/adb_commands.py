"""System commands of the emulated shell: getprop, id, su, sh, pm, am, cmd,
xargs and the sh builtins. File tools are in adb_files; both fill COMMANDS.

Every handler takes (shell, args, stdin) and returns (status, out, err).
"""
import hashlib
import re

from adb_phone import HELPER_PACKAGE


class CommandError(Exception):
    def __init__(self, message, status=1):
        super().__init__(message)
        self.status = status


class Exit(int):
    """Status of `exit`: ends the command line."""


def props(phone):
    return {
        "ro.product.manufacturer": phone["manufacturer"],
        "ro.product.model": phone["model"],
        "ro.product.device": phone["device"],
        "ro.product.name": phone["product"],
        "ro.product.brand": phone["manufacturer"].lower(),
        "ro.build.version.release": str(phone["release"]),
        "ro.build.version.sdk": str(phone["sdk"]),
        "ro.serialno": phone.serial,
        "ro.boot.serialno": phone.serial,
        "ro.debuggable": "0",
        "ro.secure": "1",
        "ro.build.type": "user",
        "sys.boot_completed": "1",
        "persist.sys.locale": "en-US",
    }


def cmd_getprop(shell, args, stdin):
    values = props(shell.phone)
    if not args:
        text = "".join("[%s]: [%s]\n" % kv for kv in sorted(values.items()))
        return 0, text.encode(), b""
    value = values.get(args[0], args[1] if len(args) > 1 else "")
    return 0, (value + "\n").encode(), b""


def cmd_id(shell, args, stdin):
    if args and args[0] in ("-u", "-g"):
        return 0, b"0\n" if shell.user == "root" else b"2000\n", b""
    if args and args[0] in ("-un", "-nu", "-gn", "-ng"):
        return 0, (shell.user + "\n").encode(), b""
    if shell.user == "root":
        text = "uid=0(root) gid=0(root) groups=0(root) context=u:r:magisk:s0\n"
    else:
        text = ("uid=2000(shell) gid=2000(shell) groups=2000(shell),1004(input),1007(log),"
                "1011(adb),1015(sdcard_rw),1028(sdcard_r),3001(net_bt_admin),3002(net_bt),"
                "3003(inet),3006(net_bw_stats),3009(readproc),3011(uhid) "
                "context=u:r:shell:s0\n")
    return 0, text.encode(), b""


def cmd_whoami(shell, args, stdin):
    return 0, (shell.user + "\n").encode(), b""


def cmd_su(shell, args, stdin):
    """su -c "command" | su 0 command... | su root command... | su (reads stdin)."""
    if not shell.phone["rooted"]:
        return 127, b"", b"/system/bin/sh: su: inaccessible or not found\n"
    if shell.phone["su_denied"]:
        return 1, b"", b"Permission denied\n"
    from adb_shell import Shell
    root = Shell(shell.phone, "root", shell.depth + 1)
    rest = list(args)
    while rest and rest[0] in ("-", "-l", "--login", "-mm", "--mount-master", "-p"):
        rest.pop(0)
    if rest and rest[0] in ("0", "root"):
        rest.pop(0)
    if rest and rest[0] == "-c":
        if len(rest) < 2:
            return 1, b"", b"su: option requires an argument -- c\n"
        return root.run(" ".join(rest[1:]), stdin)
    if rest:
        return root.run_argv(rest, stdin)
    return root.run(stdin.decode("utf-8", "replace"))


def cmd_sh(shell, args, stdin):
    from adb_shell import Shell
    inner = Shell(shell.phone, shell.user, shell.depth + 1)
    if args and args[0] == "-c":
        if len(args) < 2:
            return 2, b"", b"sh: -c: option requires an argument\n"
        return inner.run(args[1], stdin)
    return inner.run(stdin.decode("utf-8", "replace"))


def cmd_echo(shell, args, stdin):
    newline = True
    if args and args[0] == "-n":
        newline, args = False, args[1:]
    return 0, (" ".join(args) + ("\n" if newline else "")).encode(), b""


def cmd_exit(shell, args, stdin):
    try:
        status = int(args[0]) & 255 if args else int(shell.vars["?"])
    except ValueError:
        return 2, b"", b"exit: bad number\n"
    return Exit(status), b"", b""


def cmd_test(shell, args, stdin):
    import os
    if args and args[-1] == "]":
        args = args[:-1]
    if len(args) == 2 and args[0] in ("-e", "-f", "-d", "-s", "-r", "-w"):
        host = shell.phone.host_path(args[1])
        ok = host is not None and shell.phone.may_access(shell.user, args[1])
        if ok:
            check = {"-e": os.path.lexists, "-r": os.path.exists, "-w": os.path.exists,
                     "-f": os.path.isfile, "-d": os.path.isdir,
                     "-s": lambda h: os.path.isfile(h) and os.path.getsize(h) > 0}[args[0]]
            ok = check(host)
        return (0 if ok else 1), b"", b""
    if len(args) == 3 and args[1] in ("=", "!="):
        return (0 if (args[0] == args[2]) == (args[1] == "=") else 1), b"", b""
    if len(args) == 1:
        return (0 if args[0] else 1), b"", b""
    return 2, b"", b"test: unsupported expression\n"


def install_apk(phone, data, source):
    """Installs an APK's bytes; returns the pm result line."""
    result = phone["install_result"]
    if not data:
        result = "Failure [INSTALL_PARSE_FAILED_NOT_APK: Failed to parse /data/app/vmdl.tmp]"
    elif result == "Success":
        record = {"package": phone["install_package"], "size": len(data),
                  "sha1": hashlib.sha1(data).hexdigest(), "source": source}
        with phone.lock:
            phone.installed.append(record)
            if record["package"] == HELPER_PACKAGE and phone["helper"] == "absent":
                phone.cfg["helper"] = "installed"
    phone.log("install", result, size=len(data), source=source)
    return result


def _list_packages(shell, args):
    full = "-f" in args
    names = [a for a in args if not a.startswith("-")]
    lines = []
    for name in sorted(shell.phone.packages()):
        if names and names[0] not in name:
            continue
        lines.append("package:/data/app/%s-1/base.apk=%s" % (name, name) if full
                     else "package:" + name)
    return 0, "".join(line + "\n" for line in lines).encode(), b""


def cmd_pm(shell, args, stdin):
    if not args:
        return 1, b"", b"usage: pm [list|path|install|uninstall] ...\n"
    if args[0] == "-l" or args[:2] == ["list", "packages"]:
        return _list_packages(shell, args[1:] if args[0] == "-l" else args[2:])
    if args[0] == "path" and len(args) > 1:
        if args[1] in shell.phone.packages():
            return 0, ("package:/data/app/%s-1/base.apk\n" % args[1]).encode(), b""
        return 1, b"", b""
    if args[0] == "install":
        return _install(shell, args[1:], stdin)
    return 1, b"", ("Unknown command: %s\n" % args[0]).encode()


def _install(shell, args, stdin):
    size, path, i = None, None, 0
    while i < len(args):
        if args[i] == "-S" and i + 1 < len(args):
            size, i = int(args[i + 1]), i + 2
            continue
        if not args[i].startswith("-"):
            path = args[i]
        i += 1
    if path is not None:
        import os
        host = shell.phone.host_path(path)
        if host is None or not os.path.isfile(host):
            text = "Failure [INSTALL_FAILED_INVALID_URI]"
            return 1, (text + "\n").encode(), b""
        with open(host, "rb") as f:
            data = f.read()
    else:
        data = stdin[:size] if size is not None else stdin
    result = install_apk(shell.phone, data, "pm")
    return (0 if result == "Success" else 1), (result + "\n").encode(), b""


def _intent(args):
    """Parses am's intent options; returns (dict, error text)."""
    intent = {"categories": []}
    keys = {"-n": "component", "-a": "action", "-d": "data", "-t": "type", "-p": "package"}
    i = 0
    while i < len(args):
        a = args[i]
        if a in keys or a == "-c":
            if i + 1 >= len(args):
                return None, "Error: No value specified for %s" % a
            if a == "-c":
                intent["categories"].append(args[i + 1])
            else:
                intent[keys[a]] = args[i + 1]
            i += 2
            continue
        if a in ("-e", "--es", "--ei", "--ez", "--el", "--ef", "--eu", "--esa", "--eia"):
            i += 3  # an extra: key and value
            continue
        if a in ("--user", "-f", "--receiver-permission"):
            i += 2
            continue
        if a in ("-W", "-S", "--receiver-foreground", "--include-stopped-packages") or \
                a.startswith("--"):
            i += 1
            continue
        return None, "Error: Unknown option: %s" % a
    return intent, None


def _describe(intent):
    parts = []
    for key, label in (("action", "act"), ("data", "dat"), ("type", "typ"),
                       ("component", "cmp")):
        if intent.get(key):
            parts.append("%s=%s" % (label, intent[key]))
    if intent["categories"]:
        parts.append("cat=[%s]" % ",".join(intent["categories"]))
    return "Intent { %s }" % " ".join(parts)


def _start_helper(phone, intent):
    """A helper intent carrying a channel address makes the helper serve it."""
    component = intent.get("component", "") or intent.get("package", "")
    if not component.startswith(HELPER_PACKAGE) or not phone.helper_installed():
        return
    match = re.match(r"^[a-z]+://[^/:]+:(\d+)/([\w-]+)", intent.get("data", ""))
    if match:
        with phone.lock:
            phone.channels[int(match.group(1))] = match.group(2)


def cmd_am(shell, args, stdin):
    phone = shell.phone
    if not args:
        return 1, b"", b"usage: am [start|broadcast|force-stop] ...\n"
    if args[0] == "force-stop":
        if len(args) < 2:
            return 255, b"", b"Error: no package specified\n"
        if args[1] == HELPER_PACKAGE:
            with phone.lock:
                phone.channels.clear()
        phone.log("force-stop", args[1])
        return 0, b"", b""
    if args[0] in ("broadcast", "start", "startservice", "start-service"):
        intent, error = _intent(args[1:])
        if error:
            return 255, b"", (error + "\n").encode()
        text = _describe(intent)
        if args[0] == "broadcast":
            _start_helper(phone, intent)
            return 0, ("Broadcasting: %s\nBroadcast completed: result=0\n" % text).encode(), b""
        component = intent.get("component", "")
        if component and component.split("/")[0] not in phone.packages():
            return 0, ("Starting: %s\nError type 3\nError: Activity class {%s} does not exist.\n"
                       % (text, component)).encode(), b""
        _start_helper(phone, intent)
        return 0, ("Starting: %s\n" % text).encode(), b""
    return 255, b"", ("Error: Unknown command: %s\n" % args[0]).encode()


def cmd_cmd(shell, args, stdin):
    if args and args[0] == "package":
        return cmd_pm(shell, args[1:], stdin)
    if args and args[0] == "activity":
        return cmd_am(shell, args[1:], stdin)
    return 255, b"", ("Can't find service: %s\n" % (args[0] if args else "")).encode()


def cmd_run_as(shell, args, stdin):
    """Kik and the helper are release builds: run-as refuses them."""
    if not args:
        return 1, b"", b"run-as: usage: run-as <package-name> [--user <uid>] <command> [<args>]\n"
    if args[0] not in shell.phone.packages():
        return 1, b"", ("run-as: unknown package: %s\n" % args[0]).encode()
    return 1, b"", ("run-as: package not debuggable: %s\n" % args[0]).encode()


def cmd_true(shell, args, stdin):
    return 0, b"", b""


def cmd_false(shell, args, stdin):
    return 1, b"", b""


def cmd_xargs(shell, args, stdin):
    """Runs the command once with the blank-separated words of stdin added
    (the phone's xargs splits long lists over several runs; the status is
    the same). Quotes and backslashes in the input are not emulated and
    refused, so a caller relying on them is caught."""
    if args == ["--help"]:
        return 0, b"usage: xargs [-0prt] [-s NUM] [-n NUM] [-E STR] COMMAND...\n", b""
    text = stdin.decode("utf-8", "replace")
    if any(c in text for c in "'\"\\"):
        return 1, b"", b"xargs: quotes and backslashes in the input are not emulated\n"
    command = list(args) or ["echo"]
    status, out, err = shell.run_argv(command + text.split(), b"")
    if status in (0, 127, 126):
        return status, out, err
    return 123, out, err


COMMANDS = {
    "getprop": cmd_getprop, "id": cmd_id, "whoami": cmd_whoami, "su": cmd_su,
    "sh": cmd_sh, "echo": cmd_echo, "exit": cmd_exit, "test": cmd_test, "[": cmd_test,
    "pm": cmd_pm, "am": cmd_am, "cmd": cmd_cmd, "true": cmd_true, "false": cmd_false,
    "sync": cmd_true, "run-as": cmd_run_as, "xargs": cmd_xargs,
}

import adb_files  # noqa: E402  (fills COMMANDS with the file tools)

COMMANDS.update(adb_files.COMMANDS)
