#!/usr/bin/env python3
"""Fails when the code's includes break its layers: a core folder that includes a higher one
(text < lines < match < report < run), core including the window or the programs, the window's
library without widgets (gui/base) including a widget header or the rest of gui/, or any circle
of includes. Usage: layers.py SOURCE_ROOT"""
import os
import re
import sys

CORE = ["text", "lines", "match", "report", "run"]
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]', re.M)


def sources(root):
    for top in ("core", "gui", "apps", "tests", "bench", "fuzz"):
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in names:
                if name.endswith((".h", ".cpp")):
                    yield os.path.relpath(os.path.join(folder, name), root)


def includes(root, path):
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
        text = f.read()
    for kind, name in INCLUDE.findall(text):
        if kind == "<":
            yield None, name
            continue
        here = os.path.normpath(os.path.join(os.path.dirname(path), name))
        if os.path.exists(os.path.join(root, name)):
            yield os.path.normpath(name), name
        elif os.path.exists(os.path.join(root, here)):
            yield here, name
        else:
            yield None, name


def layer_faults(path, target, system):
    parts = path.split(os.sep)
    if parts[0] == "core":
        if target is None:
            if system.startswith(("Q", "qt")):
                return "core includes Qt (%s)" % system
            return None
        tparts = target.split(os.sep)
        if tparts[0] != "core":
            return "core includes %s" % target
        if CORE.index(tparts[1]) > CORE.index(parts[1]):
            return "core/%s includes the higher core/%s (%s)" % (parts[1], tparts[1], target)
    if parts[:2] == ["gui", "base"]:
        if target is None and system.startswith(("QtWidgets", "QWidget", "QApplication",
                                                 "QtGui", "QDialog", "QMainWindow")):
            return "gui/base includes a widget header (%s)" % system
        if target is not None and target.startswith("gui" + os.sep) and \
                not target.startswith(os.path.join("gui", "base")):
            return "gui/base includes %s" % target
    return None


def circle(graph):
    state = {}
    stack = []

    def visit(node):
        state[node] = 1
        stack.append(node)
        for nxt in graph.get(node, ()):
            if state.get(nxt) == 1:
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        stack.pop()
        state[node] = 2
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def main():
    root = sys.argv[1]
    graph = {}
    faults = []
    for path in sorted(sources(root)):
        graph[path] = []
        for target, name in includes(root, path):
            fault = layer_faults(path, target, name)
            if fault:
                faults.append("%s: %s" % (path, fault))
            if target is not None:
                graph[path].append(target)
    found = circle(graph)
    if found:
        faults.append("include circle: " + " -> ".join(found))
    for fault in faults:
        print(fault)
    if not faults:
        print("layers hold: %d files" % len(graph))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
