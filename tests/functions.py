#!/usr/bin/env python3
"""Fails on a function of the product (core/, gui/, apps/) longer than 80 lines, from the line
of its opening brace's statement to its closing brace. The SIMD and lane kernels of the matcher
and the prefilters may be longer: their loops are kept whole for speed. Usage:
functions.py SOURCE_ROOT"""
import os
import re
import sys

LIMIT = 80
KERNELS = re.compile(r"\b(ReadParts|\w*(Avx2|Avx512|Sse2)\w*)\s*[(<]")
CONTROL = re.compile(r"\b(if|for|while|switch|catch)\s*\(")


def code_only(text):
    """The text with comments, strings and characters blanked, line breaks kept."""
    out, i, n = [], 0, len(text)
    while i < n:
        if text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2) + 2
            out.append("\n" * text.count("\n", i, j))
            i = j
        elif text.startswith('R"', i):
            delim = re.match(r'R"([^(]*)\(', text[i:]).group(1)
            j = text.find(")" + delim + '"', i) + len(delim) + 2
            out.append('""' + "\n" * text.count("\n", i, j))
            i = j
        elif text[i] == '"' or (text[i] == "'" and not (i > 0 and text[i - 1].isalnum())):
            quote, j = text[i], i + 1
            while j < n and text[j] != quote:
                j += 2 if text[j] == "\\" else 1
            out.append(quote + quote)
            i = j + 1
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def long_functions(path):
    text = code_only(open(path, encoding="utf-8", errors="replace").read())
    found, stack, since = [], [], 0
    for m in re.finditer(r"[{};]", text):
        at = m.start()
        if m.group() == "{":
            head = text[since:at].strip()
            last = head.split("\n")[-1] if head else ""
            function = (")" in head and not re.search(r"namespace\s*\w*$", head) and
                        not CONTROL.search(last) and "=" not in head.split(")")[-1] and
                        not re.search(r"\]\s*\([^)]*\)\s*(mutable\s*)?(->[^{]*)?$", head) and
                        not re.match(r"(else|do)\b", head) and
                        all(kind != "function" for kind, _, _ in stack))
            stack.append(("function" if function else "block", text.count("\n", 0, at) + 1, head))
        elif m.group() == "}" and stack:
            kind, line, head = stack.pop()
            length = text.count("\n", 0, at) + 1 - line + 1
            if kind == "function" and length > LIMIT and not KERNELS.search(head):
                found.append("%s:%d: %d lines: %s" % (path, line, length,
                                                      " ".join(head.split())[:70]))
        since = at + 1
    return found


def main():
    root = sys.argv[1]
    faults = []
    for top in ("core", "gui", "apps"):
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if name.endswith((".cpp", ".h")):
                    faults += long_functions(os.path.join(folder, name))
    print("\n".join(faults) if faults else "no function over %d lines" % LIMIT)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
