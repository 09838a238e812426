"""File tools of the emulated shell (toybox-like): cat ls stat dd cp mv rm
rmdir mkdir touch chmod chown chgrp restorecon md5sum tar.

Paths are phone paths; access follows the phone's rules (the shell user
cannot enter /data/data, root can). chmod, chown and restorecon do not touch
the host file: they record the change in the phone's side table.
"""
import hashlib
import os
import posixpath
import re
import shutil
import stat as statmod
import tarfile
import time

from adb_commands import CommandError

NOENT = "No such file or directory"
DENIED = "Permission denied"


def _split_flags(args, known):
    flags, rest = set(), []
    only_paths = False
    for a in args:
        if not only_paths and a == "--":
            only_paths = True
        elif not only_paths and a.startswith("-") and len(a) > 1 and all(c in known for c in a[1:]):
            flags.update(a[1:])
        else:
            rest.append(a)
    return flags, rest


def _host(shell, path, must_exist=True):
    host = shell.phone.host_path(path)
    if host is None:
        raise CommandError("%s: %s" % (path, NOENT))
    if not shell.phone.may_access(shell.user, path):
        raise CommandError("%s: %s" % (path, DENIED))
    if must_exist and not os.path.lexists(host):
        raise CommandError("%s: %s" % (path, NOENT))
    return host


def _each(shell, paths, action):
    """Runs action(path) for every path; errors go to stderr, status 1."""
    err = bytearray()
    status = 0
    for path in paths:
        try:
            action(path)
        except CommandError as e:
            err += ("%s\n" % e).encode()
            status = 1
    return status, bytes(err)


def cmd_cat(shell, args, stdin):
    if not args:
        return 0, stdin, b""
    out = bytearray()

    def one(path):
        host = _host(shell, path)
        if os.path.isdir(host):
            raise CommandError("%s: Is a directory" % path)
        with open(host, "rb") as f:
            out.extend(f.read())
    status, err = _each(shell, args, one)
    return status, bytes(out), b"".join(b"cat: " + line + b"\n" for line in err.splitlines())


def _mode_text(st):
    return statmod.filemode(st.st_mode)


def cmd_ls(shell, args, stdin):
    flags, paths = _split_flags(args, "laRdZ1")
    out = bytearray()
    if not paths:
        paths = [shell.vars["HOME"]]

    def line(path, name, host):
        if "l" not in flags:
            return name + "\n"
        st = os.lstat(host)
        meta = shell.phone.file_meta(path)
        when = time.strftime("%Y-%m-%d %H:%M", time.localtime(st.st_mtime))
        return "%s 1 %s %s %d %s %s\n" % (_mode_text(st), meta["owner"], meta["group"],
                                          st.st_size, when, name)

    def one(path):
        host = _host(shell, path)
        if os.path.isdir(host) and "d" not in flags:
            names = sorted(os.listdir(host))
            if "a" not in flags:
                names = [n for n in names if not n.startswith(".")]
            for name in names:
                out.extend(line(posixpath.join(path, name), name, os.path.join(host, name))
                           .encode())
        else:
            out.extend(line(path, path, host).encode())
    status, err = _each(shell, paths, one)
    return status, bytes(out), b"".join(b"ls: " + e + b"\n" for e in err.splitlines())


def _stat_values(shell, path, host):
    st = os.lstat(host)
    meta = shell.phone.file_meta(path)
    kind = ("directory" if statmod.S_ISDIR(st.st_mode) else
            "symbolic link" if statmod.S_ISLNK(st.st_mode) else
            "regular empty file" if st.st_size == 0 else "regular file")
    mode = int(meta["mode"], 8) if "mode" in meta else statmod.S_IMODE(st.st_mode)
    return {"n": path, "s": str(st.st_size), "a": "%o" % mode, "F": kind,
            "A": statmod.filemode(statmod.S_IFMT(st.st_mode) | mode),
            "U": meta["owner"], "G": meta["group"], "u": str(_uid(shell.phone, meta["owner"])),
            "g": str(_uid(shell.phone, meta["group"])), "C": meta["context"],
            "Y": str(int(st.st_mtime)), "X": str(int(st.st_atime)), "Z": str(int(st.st_ctime)),
            "b": str(st.st_blocks), "i": str(st.st_ino), "h": str(st.st_nlink)}


def _uid(phone, name):
    for number, known in ID_NAMES.items():
        if known == name:
            return number
    match = re.match(r"^u(\d+)_a(\d+)$", name)
    if match:
        return int(match.group(1)) * 100000 + 10000 + int(match.group(2))
    return int(name) if name.isdigit() else 9999


def cmd_stat(shell, args, stdin):
    fmt = None
    rest = []
    i = 0
    while i < len(args):
        if args[i] in ("-c", "--format") and i + 1 < len(args):
            fmt, i = args[i + 1], i + 2
            continue
        if args[i] != "-L":
            rest.append(args[i])
        i += 1
    if not rest:
        return 1, b"", b"stat: Needs 1 argument\n"
    out = bytearray()

    def one(path):
        v = _stat_values(shell, path, _host(shell, path))
        if fmt is None:
            out.extend(("  File: %s\n  Size: %s\t Blocks: %s\t IO Blocks: 512\t%s\n"
                        "Access: (0%s/%s)\tUid: (%5s/%8s)\tGid: (%5s/%8s)\n"
                        "Context: %s\nModify: %s\n"
                        % (v["n"], v["s"], v["b"], v["F"], v["a"], v["A"], v["u"], v["U"],
                           v["g"], v["G"], v["C"],
                           time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(int(v["Y"])))))
                       .encode())
            return
        text, j = [], 0
        while j < len(fmt):
            if fmt[j] == "%" and j + 1 < len(fmt):
                text.append("%" if fmt[j + 1] == "%" else v.get(fmt[j + 1], "?"))
                j += 2
            else:
                text.append(fmt[j])
                j += 1
        out.extend(("".join(text) + "\n").encode())
    status, err = _each(shell, rest, one)
    return status, bytes(out), b"".join(b"stat: " + e + b"\n" for e in err.splitlines())


def _write_target(shell, path):
    host = shell.phone.host_path(path)
    if host is None:
        raise CommandError("%s: %s" % (path, NOENT))
    if not shell.phone.may_access(shell.user, path):
        raise CommandError("%s: %s" % (path, DENIED))
    if not os.path.isdir(os.path.dirname(host)):
        raise CommandError("%s: %s" % (path, NOENT))
    if os.path.isdir(host):
        raise CommandError("%s: Is a directory" % path)
    return host


def _put(shell, path, host, data):
    existed = os.path.exists(host)
    with open(host, "wb") as f:
        f.write(data)
    if not existed:
        shell.phone.created(shell.user, path)


def cmd_dd(shell, args, stdin):
    opts = {}
    for a in args:
        if "=" not in a:
            return 1, b"", ("dd: unknown operand %s\n" % a).encode()
        key, value = a.split("=", 1)
        opts[key] = value
    try:
        if "if" in opts:
            src = _host(shell, opts["if"])
            if os.path.isdir(src):
                raise CommandError("%s: Is a directory" % opts["if"])
            with open(src, "rb") as f:
                data = f.read()
        else:
            data = stdin
        if "count" in opts:
            bs = int(opts.get("bs", "512").rstrip("kK")) * (1024 if opts.get("bs", "").lower()
                                                            .endswith("k") else 1)
            data = data[:bs * int(opts["count"])]
        out = b""
        if "of" in opts:
            _put(shell, opts["of"], _write_target(shell, opts["of"]), data)
        else:
            out = data
    except CommandError as e:
        return 1, b"", ("dd: %s\n" % e).encode()
    blocks = (len(data) + 511) // 512
    report = ("%d+%d records in\n%d+%d records out\n%d bytes (%d B) copied, 0.001 s, 1.0 M/s\n"
              % (len(data) // 512, blocks - len(data) // 512, len(data) // 512,
                 blocks - len(data) // 512, len(data), len(data)))
    return 0, out, report.encode()


def _copy_tree(shell, src, dst, src_host, dst_host):
    if os.path.isdir(src_host):
        os.makedirs(dst_host, exist_ok=True)
        for name in sorted(os.listdir(src_host)):
            _copy_tree(shell, posixpath.join(src, name), posixpath.join(dst, name),
                       os.path.join(src_host, name), os.path.join(dst_host, name))
    else:
        with open(src_host, "rb") as f:
            _put(shell, dst, dst_host, f.read())


def _copy_or_move(shell, args, move):
    flags, paths = _split_flags(args, "rRafpvn" if not move else "fvn")
    name = "mv" if move else "cp"
    if len(paths) < 2:
        return 1, b"", ("%s: Needs 2 arguments\n" % name).encode()
    *sources, target = paths
    target_host = shell.phone.host_path(target)
    into = target_host is not None and os.path.isdir(target_host)

    def one(src):
        src_host = _host(shell, src)
        dst = posixpath.join(target, posixpath.basename(src.rstrip("/"))) if into else target
        if os.path.isdir(src_host) and not move and not (flags & set("rRa")):
            raise CommandError("%s: Is a directory (use -r)" % src)
        dst_host = shell.phone.host_path(dst)
        if dst_host is None or not shell.phone.may_access(shell.user, dst) or \
                not os.path.isdir(os.path.dirname(dst_host)):
            raise CommandError("%s: %s" % (dst, NOENT if dst_host is None else DENIED))
        if move:
            os.replace(src_host, dst_host)
            shell.phone.moved(src, dst)
        else:
            _copy_tree(shell, src, dst, src_host, dst_host)
    status, err = _each(shell, sources, one)
    return status, b"", b"".join(name.encode() + b": " + e + b"\n" for e in err.splitlines())


def cmd_cp(shell, args, stdin):
    return _copy_or_move(shell, args, False)


def cmd_mv(shell, args, stdin):
    return _copy_or_move(shell, args, True)


def cmd_rm(shell, args, stdin):
    flags, paths = _split_flags(args, "rRfvd")
    force = "f" in flags
    if not paths and not force:
        return 1, b"", b"rm: Needs 1 argument\n"

    def one(path):
        host = shell.phone.host_path(path)
        if host is None or not os.path.lexists(host):
            if force:
                return
            raise CommandError("%s: %s" % (path, NOENT))
        if not shell.phone.may_access(shell.user, path):
            raise CommandError("%s: %s" % (path, DENIED))
        if os.path.isdir(host) and not os.path.islink(host):
            if not flags & set("rR"):
                raise CommandError("%s: Is a directory" % path)
            shutil.rmtree(host)
        else:
            os.remove(host)
        shell.phone.forget(path)
    status, err = _each(shell, paths, one)
    return status, b"", b"".join(b"rm: " + e + b"\n" for e in err.splitlines())


def cmd_mkdir(shell, args, stdin):
    flags, paths = _split_flags(args, "pv")
    if not paths:
        return 1, b"", b"mkdir: Needs 1 argument\n"

    def one(path):
        host = shell.phone.host_path(path)
        if host is None:
            raise CommandError("'%s': %s" % (path, NOENT))
        if not shell.phone.may_access(shell.user, path):
            raise CommandError("'%s': %s" % (path, DENIED))
        if os.path.isdir(host):
            if "p" in flags:
                return
            raise CommandError("'%s': File exists" % path)
        if "p" in flags:
            os.makedirs(host, exist_ok=True)
        elif not os.path.isdir(os.path.dirname(host)):
            raise CommandError("'%s': %s" % (path, NOENT))
        else:
            os.mkdir(host)
    status, err = _each(shell, paths, one)
    return status, b"", b"".join(b"mkdir: " + e + b"\n" for e in err.splitlines())


def cmd_touch(shell, args, stdin):
    def one(path):
        host = _write_target(shell, path)
        if os.path.exists(host):
            os.utime(host)
        else:
            _put(shell, path, host, b"")
    status, err = _each(shell, [a for a in args if not a.startswith("-")], one)
    return status, b"", b"".join(b"touch: " + e + b"\n" for e in err.splitlines())


def _walk(shell, path, recursive):
    host = _host(shell, path)
    yield path
    if recursive and os.path.isdir(host):
        for folder, dirs, files in os.walk(host):
            dirs.sort()
            rel = os.path.relpath(folder, host)
            base = path if rel == "." else posixpath.join(path, rel.replace(os.sep, "/"))
            for name in sorted(dirs + files):
                yield posixpath.join(base, name)


def _owner_change(shell, args, name, apply):
    flags, rest = _split_flags(args, "RfvhHLP")
    if len(rest) < 2:
        return 1, b"", ("%s: Needs 2 arguments\n" % name).encode()
    value, paths = rest[0], rest[1:]

    def one(path):
        if shell.user != "root" and name != "chmod":
            _host(shell, path)
            raise CommandError("%s: Operation not permitted" % path)
        for p in list(_walk(shell, path, "R" in flags)):
            apply(p, value)
    status, err = _each(shell, paths, one)
    return status, b"", b"".join(name.encode() + b": " + e + b"\n" for e in err.splitlines())


def cmd_chmod(shell, args, stdin):
    return _owner_change(shell, args, "chmod",
                         lambda p, v: shell.phone.record("chmod", p, mode=v))


ID_NAMES = {0: "root", 1000: "system", 1015: "sdcard_rw", 1028: "sdcard_r", 2000: "shell",
            9997: "everybody"}


def user_name(value):
    """An owner as ls shows it: numbers become Android's names (10150 is
    u0_a150, 1010150 is u10_a150)."""
    if not value.isdigit():
        return value
    number = int(value)
    if number in ID_NAMES:
        return ID_NAMES[number]
    user, app = divmod(number, 100000)
    if app >= 10000:
        return "u%d_a%d" % (user, app - 10000)
    return value


def cmd_chown(shell, args, stdin):
    def apply(path, value):
        owner, colon, group = value.partition(":")
        values = {}
        if owner:
            values["owner"] = user_name(owner)
        if group:
            values["group"] = user_name(group)
        elif colon and owner:
            values["group"] = user_name(owner)
        shell.phone.record("chown", path, **values)
    return _owner_change(shell, args, "chown", apply)


def cmd_chgrp(shell, args, stdin):
    return _owner_change(shell, args, "chgrp",
                         lambda p, v: shell.phone.record("chown", p, group=user_name(v)))


def cmd_rmdir(shell, args, stdin):
    flags, paths = _split_flags(args, "p")

    def one(path):
        host = _host(shell, path)
        if not os.path.isdir(host):
            raise CommandError("%s: Not a directory" % path)
        if os.listdir(host):
            raise CommandError("%s: Directory not empty" % path)
        os.rmdir(host)
        shell.phone.forget(path)
    status, err = _each(shell, paths, one)
    return status, b"", b"".join(b"rmdir: " + e + b"\n" for e in err.splitlines())


def cmd_restorecon(shell, args, stdin):
    flags, paths = _split_flags(args, "RFvnDr")
    if not paths:
        return 1, b"", b"restorecon: Needs 1 argument\n"

    def one(path):
        if shell.user != "root":
            _host(shell, path)
            raise CommandError("SELinux: Could not set context for %s: %s" % (path, DENIED))
        for p in list(_walk(shell, path, bool(flags & set("Rr")))):
            shell.phone.record("restorecon", p, context=shell.phone.default_context(p))
    status, err = _each(shell, paths, one)
    return status, b"", err


def cmd_md5sum(shell, args, stdin):
    out = bytearray()

    def one(path):
        host = _host(shell, path)
        with open(host, "rb") as f:
            out.extend(("%s  %s\n" % (hashlib.md5(f.read()).hexdigest(), path)).encode())
    status, err = _each(shell, args, one)
    return status, bytes(out), b"".join(b"md5sum: " + e + b"\n" for e in err.splitlines())


TAR_USAGE = b"""usage: tar [-cxt] [-fvohmjkOS] [-XTCf NAME] [FILE...]

Create, extract, or list files in a .tar (or compressed t?z) file.
"""


def _tar_options(args):
    """(mode, archive, directory, lists, names, error) from toybox-style
    arguments: the first word may bundle letters without a dash ("cf"); f, C
    and T take the following words in the order of their letters. Names
    (the files to pack) are taken when creating only."""
    mode, archive, directory = None, None, None
    lists, names = [], []
    words = list(args)
    first = True
    fail = lambda text: (None, None, None, None, None, text)
    while words:
        word = words.pop(0)
        if word.startswith("--"):
            return fail("unknown option %s" % word)
        if word.startswith("-") or first:
            for letter in word.lstrip("-"):
                if letter in "xtc":
                    if mode not in (None, letter):
                        return fail("Needs exactly one of -ctx")
                    mode = letter
                elif letter in "fCT":
                    if not words:
                        return fail("option requires an argument -- %s" % letter)
                    value = words.pop(0)
                    if letter == "f":
                        archive = value
                    elif letter == "C":
                        directory = value
                    else:
                        lists.append(value)
                elif letter not in "ovpm":
                    return fail("Unknown option '%s'" % letter)
        else:
            names.append(word)
        first = False
    if mode is None:
        return fail("Needs -txc")
    if names and mode != "c":
        return fail("naming entries to extract is not emulated: %s" % names[0])
    if archive is None or archive == "-":
        return fail("the archive on stdin or stdout is not emulated")
    return mode, archive, directory, lists, names, None


def _tar_entry_parts(name):
    """The plain relative parts of an entry name, or None when the entry
    would land outside the folder it is unpacked into."""
    if name.startswith("/"):
        return None
    parts = [p for p in name.split("/") if p not in ("", ".")]
    if not parts or ".." in parts:
        return None
    return parts


def _tar_extract(shell, tar, directory):
    """Regular files and folders only; an entry that would leave `directory`
    (absolute, "..", through a symbolic link) or of another kind (links,
    devices) is refused with a message and makes the status 1, as real
    tars do, while the other entries are still unpacked."""
    dir_host = _host(shell, directory)
    if not os.path.isdir(dir_host):
        raise CommandError("%s: Not a directory" % directory)
    top = os.path.realpath(dir_host)
    err = bytearray()
    status = 0
    for member in tar:
        parts = _tar_entry_parts(member.name)
        if parts is None or not (member.isfile() or member.isdir()):
            err += ("tar: refusing %s\n" % member.name).encode()
            status = 1
            continue
        phone_path = posixpath.join(directory, *parts)
        host = shell.phone.host_path(phone_path)
        if host is None or not shell.phone.may_access(shell.user, phone_path):
            err += ("tar: %s: %s\n" % (phone_path, DENIED)).encode()
            status = 1
            continue
        # Every folder on the way must be a real folder below the target.
        folder_parts = parts if member.isdir() else parts[:-1]
        escaped = False
        for depth in range(1, len(folder_parts) + 1):
            sub = posixpath.join(directory, *folder_parts[:depth])
            sub_host = shell.phone.host_path(sub)
            if os.path.islink(sub_host) or (os.path.lexists(sub_host) and not os.path.isdir(sub_host)):
                escaped = True
                break
            if not os.path.lexists(sub_host):
                os.mkdir(sub_host)
                shell.phone.created(shell.user, sub)
        real = os.path.realpath(os.path.dirname(host))
        if escaped or not (real == top or real.startswith(top + os.sep)):
            err += ("tar: refusing %s\n" % member.name).encode()
            status = 1
            continue
        if member.isdir():
            continue
        if os.path.islink(host) or os.path.isdir(host):
            err += ("tar: %s: File exists\n" % phone_path).encode()
            status = 1
            continue
        existed = os.path.exists(host)
        source = tar.extractfile(member)
        with open(host, "wb") as f:
            shutil.copyfileobj(source, f, 1024 * 1024)
        if not existed:
            shell.phone.created(shell.user, phone_path)
    return status, bytes(err)


def _tar_create(shell, archive, directory, lists, names):
    """Packs the named files (relative names are found below `directory`)
    into a GNU-format archive, as toybox does: the list files are read
    first, each name is stored as it was given, and a name that cannot be
    read is reported and left out (status 1) while the others are packed."""
    for listed in lists:
        with open(_host(shell, listed), "rb") as f:
            names.extend(line.decode().rstrip("/") for line in f.read().splitlines() if line)
    if not names:
        raise CommandError("empty archive")
    target = _write_target(shell, archive)
    existed = os.path.exists(target)
    err = bytearray()
    status = 0
    with tarfile.open(target, "w", format=tarfile.GNU_FORMAT) as tar:
        for name in names:
            phone_path = shell.phone.normalise(name, directory or "/")
            host = shell.phone.host_path(phone_path)
            if host is None or not os.path.lexists(host):
                err += ("tar: %s: %s\n" % (name, NOENT)).encode()
                status = 1
            elif not shell.phone.may_access(shell.user, phone_path):
                err += ("tar: can't open '%s': %s\n" % (name, DENIED)).encode()
                status = 1
            else:
                tar.add(host, arcname=name)
    if not existed:
        shell.phone.created(shell.user, archive)
    return status, bytes(err)


def cmd_tar(shell, args, stdin):
    if args == ["--help"]:
        return 0, TAR_USAGE, b""
    mode, archive, directory, lists, names, problem = _tar_options(args)
    if problem:
        return 1, b"", ("tar: %s\n" % problem).encode()
    try:
        if mode == "c":
            status, err = _tar_create(shell, archive, directory, lists, names)
            return status, b"", err
        host = _host(shell, archive)
        if os.path.isdir(host):
            raise CommandError("%s: Is a directory" % archive)
        with tarfile.open(host, "r:") as tar:
            if mode == "t":
                names = "".join(member.name + "\n" for member in tar)
                return 0, names.encode(), b""
            status, err = _tar_extract(shell, tar, directory or "/")
            return status, b"", err
    except CommandError as e:
        return 1, b"", ("tar: %s\n" % e).encode()
    except (tarfile.TarError, EOFError) as e:
        return 1, b"", ("tar: %s: %s\n" % (archive, e or "short read")).encode()


COMMANDS = {
    "cat": cmd_cat, "ls": cmd_ls, "stat": cmd_stat, "dd": cmd_dd, "cp": cmd_cp, "mv": cmd_mv,
    "rm": cmd_rm, "rmdir": cmd_rmdir, "mkdir": cmd_mkdir, "touch": cmd_touch, "chmod": cmd_chmod,
    "chown": cmd_chown, "chgrp": cmd_chgrp, "restorecon": cmd_restorecon, "md5sum": cmd_md5sum,
    "tar": cmd_tar,
}
