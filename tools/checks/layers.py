#!/usr/bin/env python3
"""Checks that every include between the library's folders points down the layers.

The layers, bottom to top (a folder may include its own headers and those of any lower row; folders
on one row do not include each other):

    display                 drawing into device contexts
    files    render         image files; resize and renderers
    image                   generic ROI, ROIs, images, masks, frames
    vectors                 typed vectors, profile vectors, plots
    pixels                  pixel types and the facts of each pixel kind
    foundation              errors, units, statistics, timing
    platform                what the operating system would give: GDI, message box, clocks, CPU

kvbase/kvbase.h includes everything, so library code never includes it. kvbase/testing/ holds the
tests' helpers: tests and helpers may include it, library code never does. Prints one line per offending include, naming the file and the
line, and exits 1 when there is any.

Usage: layers.py [ROOT]   (ROOT is the source tree, by default the one this script lives in)
"""

import pathlib
import re
import sys

ROWS = [
    ["platform"],
    ["foundation"],
    ["pixels"],
    ["vectors"],
    ["image"],
    ["files", "render"],
    ["display"],
]
RANK = {folder: row for row, folders in enumerate(ROWS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s*"kvbase/([^/"]+)(/|")')


def is_test_code(path):
    return path.name.endswith(("_test.cpp", "_benchmark.cpp"))


def problems_in(path, folder, root):
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        match = INCLUDE.match(line)
        if not match:
            continue
        target = match.group(1)
        where = f"{path.relative_to(root)}:{number}"
        if match.group(2) == '"':  # kvbase/kvbase.h and its like: above every layer
            if folder not in (None, "testing") and not is_test_code(path):
                yield f"{where}: library code includes the umbrella header: {line.strip()}"
        elif target == "testing":
            if folder != "testing" and not is_test_code(path):
                yield f"{where}: library code includes a test helper: {line.strip()}"
        elif target not in RANK:
            yield f"{where}: include of a folder that is in no layer: {line.strip()}"
        elif folder in RANK and target != folder and RANK[target] >= RANK[folder]:
            relation = "on the same row as" if RANK[target] == RANK[folder] else "above"
            yield f"{where}: include points up: {target}/ is {relation} {folder}/: {line.strip()}"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2])
    library = root / "kvbase"
    found = []
    for path in sorted(library.rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        parts = path.relative_to(library).parts
        folder = parts[0] if len(parts) > 1 else None  # None: the umbrella header
        if folder is not None and folder != "testing" and folder not in RANK:
            found.append(f"{path.relative_to(root)}: folder {folder}/ is in no layer")
            continue
        found.extend(problems_in(path, folder, root))
    for problem in found:
        print(problem)
    if found:
        print(f"layers: {len(found)} include(s) against the layers")
        return 1
    print("layers: every include points down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
