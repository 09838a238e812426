"""A small /system/bin/sh over an emulated phone's folders.

`Shell(phone, user).run(line)` parses the line like sh and returns
(status, stdout bytes, stderr bytes). Each command line run is logged on
the phone as kind "shell" with the user that ran it ("shell" or "root").
The commands live in adb_commands; the file tools in adb_files.
"""
import fnmatch
import os
import posixpath

import adb_commands
from adb_shell_parse import ParseError, Tokenizer, split_commands

MAX_DEPTH = 8
MAX_OUTPUT = 64 * 1024 * 1024


class Shell:
    def __init__(self, phone, user="shell", depth=0):
        self.phone = phone
        self.user = user
        self.depth = depth
        self.status = 0
        self.vars = {"HOME": "/" if user == "root" else "/data/local/tmp",
                     "PATH": "/product/bin:/apex/com.android.runtime/bin:/system/bin:/system/xbin",
                     "USER": user, "?": "0"}

    def run(self, line, stdin=b""):
        self.phone.log("shell", line, user=self.user)
        if self.depth > MAX_DEPTH:
            return 2, b"", b"/system/bin/sh: too deeply nested\n"
        out, err = bytearray(), bytearray()
        try:
            groups = split_commands(Tokenizer(line, raw=True).tokens())
        except ParseError as e:
            return 2, b"", ("/system/bin/sh: %s\n" % e).encode()
        for connector, pipeline in groups:
            if connector == "&&" and self.status != 0:
                continue
            if connector == "||" and self.status == 0:
                continue
            data = stdin
            for index, command in enumerate(pipeline):
                last = index == len(pipeline) - 1
                status, o, e = self._run_command(command, data)
                err += e
                if last:
                    out += o
                else:
                    data = o
                self.status = status
            self.vars["?"] = str(self.status)
            if isinstance(self.status, adb_commands.Exit) or len(out) > MAX_OUTPUT:
                break
        return int(self.status), bytes(out), bytes(err)

    def run_argv(self, argv, stdin=b""):
        """Runs an already split command (used by `su 0 cmd ...`)."""
        return self._run_words(list(argv), stdin)

    def _substitute(self, inner):
        status, out, _ = Shell(self.phone, self.user, self.depth + 1).run(inner)
        self.status = status
        return out.decode("utf-8", "replace").rstrip("\n")

    def expand(self, raw):
        return Tokenizer(raw, self.vars, self._substitute).expand_word()

    def _expand(self, words):
        argv = []
        for raw, _ in words:
            text, pattern = self.expand(raw)
            if pattern is None:
                argv.append(text)
                continue
            matches = self.glob(pattern)
            argv.extend(matches if matches else [text])
        return argv

    def glob(self, pattern):
        """Phone paths matching an absolute or relative glob, sorted."""
        base = "/" if pattern.startswith("/") else self.vars["HOME"]
        parts = [p for p in pattern.split("/") if p]
        found = [base]
        for part in parts:
            following = []
            for folder in found:
                host = self.phone.host_path(folder)
                if any(c in part for c in "*?["):
                    if host is None or not os.path.isdir(host):
                        continue
                    if not self.phone.may_access(self.user, folder):
                        continue
                    names = sorted(n for n in os.listdir(host)
                                   if fnmatch.fnmatchcase(n, part)
                                   and (part.startswith(".") or not n.startswith(".")))
                    following.extend(posixpath.join(folder, n) for n in names)
                else:
                    literal = part
                    for c in "*?[":
                        literal = literal.replace("[%s]" % c, c)
                    candidate = posixpath.join(folder, literal)
                    h = self.phone.host_path(candidate)
                    if h is not None and os.path.lexists(h):
                        following.append(candidate)
            found = following
        if not pattern.startswith("/"):
            found = [posixpath.relpath(f, base) for f in found]
        return found

    def _run_command(self, command, stdin):
        try:
            argv = self._expand(command["words"])
            redirs = [(op, self.expand(target)[0] if target is not None else None)
                      for op, target in command["redirs"]]
        except ParseError as e:
            return 2, b"", ("/system/bin/sh: %s\n" % e).encode()
        for op, target in redirs:
            if op == "<":
                host = self.phone.host_path(target)
                if host is None or not os.path.isfile(host) or \
                        not self.phone.may_access(self.user, target):
                    return 1, b"", ("/system/bin/sh: can't open %s\n" % target).encode()
                with open(host, "rb") as f:
                    stdin = f.read()
        status, out, err = self._run_words(argv, stdin) if argv else (0, b"", b"")
        for op, target in redirs:
            if op == "2>&1":
                out, err = out + err, b""
            elif op == ">&2":
                out, err = b"", err + out
            elif op in (">", ">>", "2>", "2>>"):
                data = err if op.startswith("2") else out
                problem = self._write_redirect(target, data, op.endswith(">>"))
                if problem:
                    return 1, b"", problem
                if op.startswith("2"):
                    err = b""
                else:
                    out = b""
        return status, out, err

    def _write_redirect(self, target, data, append):
        if target == "/dev/null":
            return None
        host = self.phone.host_path(target)
        if host is None or not self.phone.may_access(self.user, target) or \
                not os.path.isdir(os.path.dirname(host)):
            return ("/system/bin/sh: can't create %s: Permission denied\n" % target).encode()
        existed = os.path.exists(host)
        with open(host, "ab" if append else "wb") as f:
            f.write(data)
        if not existed:
            self.phone.created(self.user, target)
        return None

    def _run_words(self, argv, stdin):
        name = argv[0]
        handler = adb_commands.COMMANDS.get(posixpath.basename(name))
        if posixpath.basename(name) in self.phone["missing_commands"]:
            handler = None
        if handler is None:
            return 127, b"", ("/system/bin/sh: %s: inaccessible or not found\n" % name).encode()
        try:
            return handler(self, argv[1:], stdin)
        except adb_commands.CommandError as e:
            return e.status, b"", ("%s: %s\n" % (posixpath.basename(name), e)).encode()
        except (OSError, ValueError) as e:
            return 1, b"", ("%s: %s\n" % (posixpath.basename(name), e)).encode()
