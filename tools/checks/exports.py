#!/usr/bin/env python3
"""Checks that a shared library exports only its public API.

Reads the dynamic symbols the library defines (nm -D --defined-only, demangled) and fails, naming each
offender, on a symbol of an internal namespace (kvbase::internal, kvgdi, an anonymous namespace, the
standard library's) or on one whose name is declared in none of the installed public headers.

Usage: exports.py LIBRARY INCLUDE_DIR
"""

import pathlib
import re
import subprocess
import sys

INTERNAL = re.compile(r"kvbase::internal|kvgdi|\(anonymous namespace\)|std::|__gnu_cxx|__cxxabi")
PREFIXES = ("typeinfo name for ", "typeinfo for ", "vtable for ", "VTT for ", "guard variable for ")


def defined_symbols(library):
    listing = subprocess.run(["nm", "-D", "--defined-only", "-C", library], check=True, capture_output=True,
                             text=True).stdout
    for line in listing.splitlines():
        parts = line.split(" ", 2)
        if len(parts) == 3:
            yield parts[2]


def leading_name(symbol):
    """The class or function a symbol belongs to: KROI for 'KROI<int>::Save(char const*, ...)'."""
    for prefix in PREFIXES:
        if symbol.startswith(prefix):
            symbol = symbol[len(prefix):]
    symbol = symbol.split("(", 1)[0]
    # A function template's instantiation shows its return type first: 'short KVector::CopyGroups<char>'.
    symbol = symbol.split(" ")[-1] if "<" not in symbol.split(" ")[0] else symbol
    return re.match(r"[A-Za-z_][A-Za-z0-9_]*", symbol).group(0) if re.match(r"[A-Za-z_]", symbol) else symbol


def without_comments(text):
    """The code of a header: comments and string literals removed, so that only declared names remain."""
    return re.sub(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\])*"', " ", text, flags=re.S)


def main():
    library, include = sys.argv[1], pathlib.Path(sys.argv[2])
    public = "\n".join(without_comments(path.read_text(errors="replace")) for path in include.rglob("*.h"))
    declared = set(re.findall(r"[A-Za-z_][A-Za-z0-9_]*", public))
    problems = []
    symbols = list(defined_symbols(library))
    for symbol in symbols:
        if INTERNAL.search(symbol):
            problems.append(f"internal symbol exported: {symbol}")
        elif leading_name(symbol) not in declared:
            problems.append(f"exported, but declared in no public header: {symbol}")
    for problem in problems:
        print(problem)
    if problems:
        print(f"exports: {len(problems)} of {len(symbols)} exported symbols are not public API")
        return 1
    print(f"exports: all {len(symbols)} exported symbols are public API")
    return 0


if __name__ == "__main__":
    sys.exit(main())
