#!/usr/bin/env python3
"""Checks that every include between the source folders points down the layers.

Usage: check_layers.py SOURCE_DIR

The folders are listed bottom first. A source file may include headers of its own
folder and of folders listed before it, never of one listed after it: so no include
runs up and no two folders include each other. A folder that is not listed fails
the check too, so that a new folder takes its place in the order.
"""
import os
import re
import sys

LAYERS = [
    "platform",
    "resources",
    "engine/records",
    "engine/device",
    "engine/store",
    "engine/fs",
    "engine/fs/fat",
    "engine/fs/ntfs",
    "engine/volume",
    "search",
    "controls",
    "app",
    "app/export",
    "dialogs",
    "mainframe/icons",
    "mainframe/panes",
    "mainframe/explorer",
    "mainframe/find",
    "mainframe/frame",
    "wizards",
    "program",
]
ROOTS = sorted({layer.split("/")[0] for layer in LAYERS})
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main():
    source = sys.argv[1]
    rank = {layer: i for i, layer in enumerate(LAYERS)}
    faults = []
    for root in ROOTS:
        for folder, _, names in os.walk(os.path.join(source, root)):
            here = os.path.relpath(folder, source).replace(os.sep, "/")
            for name in sorted(names):
                if not name.endswith((".cpp", ".h")):
                    continue
                if here not in rank:
                    faults.append(f"{here}/{name}: the folder {here} has no place in the layers")
                    continue
                with open(os.path.join(folder, name), encoding="utf-8") as f:
                    text = f.read()
                for header in INCLUDE.findall(text):
                    target = os.path.dirname(header)
                    if target not in rank or not os.path.isfile(os.path.join(source, header)):
                        continue  # a neighbour named bare, a generated file or a system header
                    if rank[target] > rank[here]:
                        faults.append(f"{here}/{name} includes {header}: {target} lies above {here}")
    for fault in faults:
        print(fault)
    print(f"{len(faults)} include(s) against the layers")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
