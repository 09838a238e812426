"""Splits a command line the way /system/bin/sh (mksh) does.

Supported: blanks between words; single quotes (everything literal);
double quotes (backslash escapes only $ ` " \\ and newline; $NAME, ${NAME}
and $(...) / `...` are expanded); backslash outside quotes; `#` comments;
the operators ; && || | & and the redirections < > >> 2> 2>&1 >&2.
Unquoted expansions are not split into fields (sh would split them at
blanks). Unquoted *, ? and [...] expand as globs against the phone's files (a
pattern that matches nothing stays as it is, as in sh).

A line is first split with raw words (source text); each word is expanded
when its command runs, as (text, pattern) where pattern is None when the
word holds no unquoted glob character, else the glob with quoted parts
escaped.
"""

OPERATORS = ("&&", "||", ";", "|", "&")
GLOB_CHARS = "*?["


class ParseError(Exception):
    pass


def _escape_glob(text):
    return "".join("[%s]" % c if c in GLOB_CHARS else c for c in text)


class Tokenizer:
    """Produces ("word", text, pattern), ("op", op) and ("redir", op, target)
    tokens. `substitute(command)` runs a command substitution and returns
    its output. With `raw`, words and targets are returned as their source
    text, unexpanded (pattern None): the shell expands each command's words
    only when it runs that command, as sh does."""

    def __init__(self, line, variables=None, substitute=None, raw=False):
        self.s = line
        self.i = 0
        self.raw = raw
        self.vars = {} if raw or variables is None else variables
        self.substitute = (lambda inner: "") if raw or substitute is None else substitute

    def tokens(self):
        out = []
        while True:
            self._skip_blanks()
            if self.i >= len(self.s):
                return out
            c = self.s[self.i]
            if c == "#":
                return out
            if c == "\n":
                self.i += 1
                out.append(("op", ";"))
                continue
            op = self._operator()
            if op:
                out.append(op)
                continue
            text, pattern = self._word()
            out.append(("word", text, pattern))

    def _skip_blanks(self):
        while self.i < len(self.s) and self.s[self.i] in " \t":
            self.i += 1

    def _operator(self):
        s, i = self.s, self.i
        if s.startswith("2>&1", i):
            self.i += 4
            return ("redir", "2>&1", None)
        if s.startswith(">&2", i) or s.startswith("1>&2", i):
            self.i += 3 if s[i] == ">" else 4
            return ("redir", ">&2", None)
        for redir in ("2>>", "2>", ">>", "1>", ">", "<"):
            if s.startswith(redir, i):
                self.i += len(redir)
                self._skip_blanks()
                if self.i >= len(s) or s[self.i] in ";&|<>\n":
                    raise ParseError("syntax error: redirection without a file")
                target, _ = self._word()
                return ("redir", redir.replace("1>", ">"), target)
        for op in OPERATORS:
            if s.startswith(op, i):
                self.i += len(op)
                return ("op", op)
        return None

    def expand_word(self):
        """The whole line as one word, expanded: (text, pattern)."""
        return self._word()

    def _word(self):
        start = self.i
        text = []
        pattern = []
        globbing = False
        s = self.s
        while self.i < len(s):
            c = s[self.i]
            if c in " \t\n;&|<>":
                break
            if c == "\\":
                if self.i + 1 < len(s):
                    nxt = s[self.i + 1]
                    self.i += 2
                    if nxt != "\n":
                        text.append(nxt)
                        pattern.append(_escape_glob(nxt))
                else:
                    self.i += 1
                continue
            if c == "'":
                end = s.find("'", self.i + 1)
                if end < 0:
                    raise ParseError("syntax error: unterminated quoted string")
                part = s[self.i + 1:end]
                text.append(part)
                pattern.append(_escape_glob(part))
                self.i = end + 1
                continue
            if c == '"':
                part = self._double_quoted()
                text.append(part)
                pattern.append(_escape_glob(part))
                continue
            if c == "$" or c == "`":
                part = self._expansion()
                text.append(part)
                pattern.append(_escape_glob(part))
                continue
            if c in GLOB_CHARS:
                globbing = True
            text.append(c)
            pattern.append(c)
            self.i += 1
        if self.raw:
            return s[start:self.i], None
        return "".join(text), ("".join(pattern) if globbing else None)

    def _double_quoted(self):
        s = self.s
        self.i += 1
        out = []
        while True:
            if self.i >= len(s):
                raise ParseError("syntax error: unterminated quoted string")
            c = s[self.i]
            if c == '"':
                self.i += 1
                return "".join(out)
            if c == "\\" and self.i + 1 < len(s) and s[self.i + 1] in '$`"\\\n':
                if s[self.i + 1] != "\n":
                    out.append(s[self.i + 1])
                self.i += 2
                continue
            if c == "$" or c == "`":
                out.append(self._expansion())
                continue
            out.append(c)
            self.i += 1

    def _expansion(self):
        s = self.s
        if s[self.i] == "`":
            end = s.find("`", self.i + 1)
            if end < 0:
                raise ParseError("syntax error: unterminated `")
            inner = s[self.i + 1:end]
            self.i = end + 1
            return self.substitute(inner)
        nxt = s[self.i + 1] if self.i + 1 < len(s) else ""
        if nxt == "(":
            depth, j = 0, self.i + 1
            while j < len(s):
                if s[j] == "(":
                    depth += 1
                elif s[j] == ")":
                    depth -= 1
                    if depth == 0:
                        break
                j += 1
            if j >= len(s):
                raise ParseError("syntax error: unterminated $(")
            inner = s[self.i + 2:j]
            self.i = j + 1
            return self.substitute(inner)
        if nxt == "{":
            end = s.find("}", self.i + 2)
            if end < 0:
                raise ParseError("syntax error: bad substitution")
            name = s[self.i + 2:end]
            self.i = end + 1
            return self.vars.get(name, "")
        j = self.i + 1
        if j < len(s) and (s[j] in "?#$!" or s[j].isdigit()):
            self.i = j + 1
            return self.vars.get(s[j], "")
        while j < len(s) and (s[j].isalnum() or s[j] == "_"):
            j += 1
        if j == self.i + 1:
            self.i += 1
            return "$"
        name = s[self.i + 1:j]
        self.i = j
        return self.vars.get(name, "")


def split_commands(tokens):
    """Groups tokens into [(connector, [pipeline commands])] where each
    command is {"words": [(text, pattern)], "redirs": [(op, target)]} and the
    connector says how it joins the previous list element (";", "&&", "||")."""
    groups = []
    connector = ";"
    pipeline = []
    current = {"words": [], "redirs": []}
    for tok in tokens:
        if tok[0] == "word":
            current["words"].append((tok[1], tok[2]))
        elif tok[0] == "redir":
            current["redirs"].append((tok[1], tok[2]))
        elif tok[1] == "|":
            if not current["words"]:
                raise ParseError("syntax error: '|' unexpected")
            pipeline.append(current)
            current = {"words": [], "redirs": []}
        else:
            if current["words"] or current["redirs"]:
                pipeline.append(current)
            elif pipeline or tok[1] in ("&&", "||"):
                raise ParseError("syntax error: '%s' unexpected" % tok[1])
            if pipeline:
                groups.append((connector, pipeline))
            pipeline = []
            current = {"words": [], "redirs": []}
            connector = tok[1] if tok[1] in ("&&", "||") else ";"
    if current["words"] or current["redirs"]:
        pipeline.append(current)
    elif pipeline:
        raise ParseError("syntax error: unexpected end of file")
    if pipeline:
        groups.append((connector, pipeline))
    elif connector in ("&&", "||"):
        raise ParseError("syntax error: unexpected end of file")
    return groups
