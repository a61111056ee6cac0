#!/usr/bin/python3
"""Lists includes in platform/gtk that reach a folder above (or beside) the including file's.

Each folder of platform/gtk is a library that sees only the folders below it; the build's include
paths already refuse a header of a higher folder named alone, and this also catches one named by
its path. Prints one line per include that breaks the layers and exits 1 when there is any.

Usage: scripts/layers.py [ROOT]   (ROOT: the repository, by default this script's parent folder)
"""
import os
import re
import sys

# What each folder may include besides itself: the folders below it, as its CMake library links
# them (platform/gtk/**/CMakeLists.txt).
BELOW = {
    "lib": [],
    "process": ["lib"],
    "form": ["process", "lib"],
    "browser/views": ["process", "lib"],
    "browser/limits": ["browser/views", "process", "lib"],
    "browser/session": ["browser/views", "process", "lib"],
    "browser/windows": ["browser/limits", "browser/views", "form", "process", "lib"],
    "browser/recovery": ["browser/windows", "browser/limits", "browser/views", "form", "process", "lib"],
    "browser/notifications": ["browser/views", "process", "lib"],
    "browser/input": ["browser/windows", "browser/limits", "browser/views", "form", "process", "lib"],
    "browser/media": ["browser/views", "process", "lib"],
    "browser/navigation": ["browser/views", "process", "lib"],
    "browser/permissions": ["browser/limits", "browser/views", "process", "lib"],
}
BELOW["browser"] = sorted({f for f in BELOW if f.startswith("browser/")} | {"form", "process", "lib"})
BELOW["runtime"] = sorted(set(BELOW) - {"runtime"})

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    gtk = os.path.join(root, "platform", "gtk")
    folder_of = {}  # header name -> its folder, relative to platform/gtk
    sources = []
    for dirpath, _, files in os.walk(gtk):
        folder = os.path.relpath(dirpath, gtk)
        for name in files:
            if name.endswith(".h"):
                folder_of.setdefault(name, folder)
            if name.endswith((".h", ".cpp")):
                sources.append((folder, os.path.join(dirpath, name)))
    broken = []
    for folder, path in sorted(sources):
        if folder not in BELOW:
            broken.append(f"{os.path.relpath(path, root)}: a folder the layers do not know")
            continue
        allowed = {folder, *BELOW[folder]}
        with open(path, encoding="utf-8") as source:
            for number, line in enumerate(source, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                name = match.group(1)
                if name.startswith("platform/gtk/"):
                    target = os.path.dirname(name[len("platform/gtk/"):])
                elif "/" in name:
                    continue  # a header of platform/ itself, or of a library
                else:
                    target = folder_of.get(name)
                    if target is None:
                        continue
                if target not in allowed:
                    broken.append(f"{os.path.relpath(path, root)}:{number}: includes {name} ({target})")
    for line in broken:
        print(line)
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
