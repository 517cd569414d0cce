#!/usr/bin/env python3
"""Checks that the source tree keeps its layers.

Every folder of sources belongs to one layer; a file may include headers of
its own folder and of layers below its own, never of a layer above or of
another folder of the same layer. Qt is included only by the widget folders,
and program folders (one main() each) are included by nobody. The
CMakeLists.txt of a source folder names only files of that folder.

Prints each offence as FILE:LINE: reason, and exits 1 if there is any.
Usage: scripts/check-layers.py [ROOT]
"""
import os
import re
import sys

# Folder -> rank. A file may include a folder of lower rank, or its own.
LAYERS = {
    "base": 0,
    "config": 1,
    "net": 2,
    "logic": 3,
    "cli": 4, "sim": 4, "ui": 4,
    "programs/plinth": 5, "programs/plinthctl": 5, "programs/plinth-sim": 5,
    "tests/support": 6,
    "tests": 7, "bench": 7, "fuzz": 7, "tools": 7,
}
# Folders whose files may include Qt: the widgets, the window program, and
# what tests, measures or draws the widgets.
QT_FOLDERS = ("ui", "programs/plinth", "tests/ui", "bench/ui", "tools/screenshots")
PROGRAMS = ("programs/",)
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".c")
QUOTED = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
ANGLED_QT = re.compile(r"^\s*#\s*include\s*<(Q[A-Za-z0-9_]*|Qt[A-Za-z0-9_]*/[^>]*)>")
CMAKE_SOURCE = re.compile(r"([\w${}./-]+\.(?:cpp|c|h))\b")


def folder_of(path):
    """The layer folder that holds path (relative to the root), or None."""
    best = None
    for folder in LAYERS:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def own_unit(path, folder):
    """What counts as 'the same folder': a test folder is tests/X, a tool tools/X."""
    if folder in ("tests", "tools", "bench", "fuzz"):
        parts = path.split("/")
        return "/".join(parts[:2]) if len(parts) > 2 else folder
    return folder


def in_folders(path, folders):
    return any(path == f or path.startswith(f + "/") for f in folders)


def check(root):
    problems = []
    for top in sorted({f.split("/")[0] for f in LAYERS}):
        for dirpath, dirnames, filenames in os.walk(os.path.join(root, top)):
            dirnames[:] = sorted(d for d in dirnames if d not in ("seeds",))
            for name in sorted(filenames):
                full = os.path.join(dirpath, name)
                rel = os.path.relpath(full, root)
                if name.endswith(SOURCE_SUFFIXES):
                    problems += check_file(root, rel)
                elif name == "CMakeLists.txt":
                    problems += check_cmake(root, rel)
    return problems


def check_file(root, rel):
    problems = []
    folder = folder_of(rel)
    unit = own_unit(rel, folder)
    with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
        lines = f.readlines()
    for number, line in enumerate(lines, 1):
        where = f"{rel}:{number}"
        if ANGLED_QT.match(line) and not in_folders(rel, QT_FOLDERS):
            problems.append(f"{where}: Qt included outside the widget folders ({', '.join(QT_FOLDERS)})")
            continue
        m = QUOTED.match(line)
        if not m:
            continue
        target = resolve(root, rel, m.group(1))
        if target is None:
            problems.append(f'{where}: "{m.group(1)}" is not a file of the tree')
            continue
        to = folder_of(target)
        if to is None:
            problems.append(f'{where}: "{m.group(1)}" lies outside the source folders')
            continue
        to_unit = own_unit(target, to)
        if to_unit == unit:
            continue
        if to.startswith(PROGRAMS):
            problems.append(f"{where}: includes the program folder {to}/ (programs are included by nobody)")
        elif LAYERS[to] >= LAYERS[folder]:
            relation = "the same layer" if LAYERS[to] == LAYERS[folder] else "a higher layer"
            problems.append(f"{where}: {unit}/ includes {to_unit}/, {relation} ({m.group(1)})")
    return problems


def resolve(root, rel, include):
    """The file an include names, relative to the root: beside the file first, then from the root."""
    beside = os.path.normpath(os.path.join(os.path.dirname(rel), include))
    if os.path.isfile(os.path.join(root, beside)):
        return beside
    if os.path.isfile(os.path.join(root, include)):
        return os.path.normpath(include)
    return None


def check_cmake(root, rel):
    """A folder's CMakeLists.txt compiles only files of its own folder."""
    folder = os.path.dirname(rel)
    problems = []
    with open(os.path.join(root, rel), encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            code = line.split("#", 1)[0]
            for source in CMAKE_SOURCE.findall(code):
                if re.search(r"\$\{(PROJECT|CMAKE)_SOURCE_DIR\}|(^|/)\.\./", source):
                    problems.append(f"{rel}:{number}: names {source}, which is not a file of {folder}/")
    return problems


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    problems = check(os.path.abspath(root))
    for p in problems:
        print(p)
    if problems:
        print(f"check-layers: {len(problems)} problem(s) with the layers")
        return 1
    print("check-layers: every include follows the layers")
    return 0


if __name__ == "__main__":
    sys.exit(main())
