"""Reads texts from the installer's C++ headers: its messages (src/common/messages.h)
and its temporary names (src/payload/temporary_names.h). The build checks the
dictionary and its settings against the very texts the installer shows and uses, each
written once, in C++.

A text is a constant of the form `constexpr char kName[] = "..." "...";` (adjacent
string literals), a list one of the form `... kName[...] = {"...", "..."};`.
"""

import os
import re

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LITERAL = r'"(?:[^"\\]|\\.)*"'
TEXT = re.compile(rf"constexpr\s+char\s+(k\w+)\[\]\s*=\s*((?:\s*{LITERAL})+)\s*;")
LIST = re.compile(rf"\s(k\w+)\[\w*\]\s*=\s*\{{((?:\s*{LITERAL}\s*,?)+)\}};")
ESCAPES = {"r": "\r", "n": "\n", "t": "\t", "0": "\0", '"': '"', "\\": "\\"}


def unquote(literals):
    """The text of adjacent C string literals, escapes resolved."""
    text = []
    for literal in re.findall(LITERAL, literals):
        text.append(re.sub(r"\\(x[0-9A-Fa-f]{2}|.)",
                           lambda m: chr(int(m.group(1)[1:], 16)) if m.group(1)[0] == "x"
                           else ESCAPES[m.group(1)], literal[1:-1]))
    return "".join(text)


def read(header):
    with open(os.path.join(ROOT, header), encoding="utf-8") as source:
        return source.read()


def texts(header):
    """Every text constant of the header: {name: text}."""
    return {name: unquote(literals) for name, literals in TEXT.findall(read(header))}


def text_list(header, name):
    """The texts of a list constant of the header."""
    for found, literals in LIST.findall(read(header)):
        if found == name:
            return [unquote(literal) for literal in re.findall(LITERAL, literals)]
    raise KeyError(f"{header} has no list {name}")
