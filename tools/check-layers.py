#!/usr/bin/python3
"""Fails when a source file under src/ includes a folder above its own.

Each folder may include itself and the folders listed for it below. The
widget folders ("gui" and the "*/gui" ones) sit on top of the core folder
they belong to; the window (ui), the desktop program's start (app/gui) and
the command-line tool (cli) are the top. Usage: tools/check-layers.py [ROOT]
"""
import os
import re
import sys

CORE = {
    "app": set(),
    "jobs": set(),
    "db": {"app"},
    "model": {"app", "db", "jobs"},
    "device": {"app", "db", "jobs"},
    "view": {"app", "db", "jobs", "model"},
    "ios": {"app", "db", "jobs", "model", "device"},
    "android": {"app", "db", "jobs", "model", "device"},
}
ALLOWED = dict(CORE)
ALLOWED["gui"] = {"app"}
ALLOWED["jobs/gui"] = {"app", "jobs", "gui"}
for core in ("ios", "android", "view"):
    ALLOWED[core + "/gui"] = {core, "gui", "jobs/gui"} | CORE[core]
WIDGETS = {name for name in ALLOWED if name == "gui" or name.endswith("/gui")}
ALLOWED["ui"] = set(CORE) | WIDGETS
ALLOWED["app/gui"] = ALLOWED["ui"] | {"ui"}
ALLOWED["cli"] = set(CORE)

INCLUDE = re.compile(r'\s*#\s*include\s+"([a-z]+(?:/gui)?)/')


def main(root):
    src = os.path.join(root, "src")
    problems = []
    checked = 0
    for folder, _, files in os.walk(src):
        layer = os.path.relpath(folder, src).replace(os.sep, "/")
        for name in sorted(files):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(folder, name)
            checked += 1
            if layer not in ALLOWED:
                problems.append("%s: folder %s has no place in the layers" % (path, layer))
                continue
            with open(path, encoding="utf-8") as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if match and match.group(1) != layer and match.group(1) not in ALLOWED[layer]:
                        problems.append("%s:%d: %s may not include %s"
                                        % (path, number, layer, match.group(1)))
    for problem in problems:
        print(problem)
    if not problems:
        print("layers: %d files include only their own folder and those below it" % checked)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")))
