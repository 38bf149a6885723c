#!/usr/bin/env python3
"""Fails when an include points up the layers or files include each other in a loop.

Layers, lowest first: base < wml < http < settings < site < net < desktop < app.
A file under src/<layer>/ may include headers of its own layer and the layers
below. Inside site, a module folder (site/<module>/) may include the site core
(the files directly under site/), but the core must not include a module and
modules must not include each other. Tests and benchmarks may include anything,
but no file anywhere may be part of an include loop.

Usage: scripts/check-layers.py [repository root]; prints each fault and exits 1
when there is one.
"""

import re
import sys
from pathlib import Path

LAYERS = ["base", "wml", "http", "settings", "site", "net", "desktop", "app"]
CHECKED_ROOTS = ["src", "tests", "bench"]
SOURCE_SUFFIXES = {".cpp", ".h"}
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]', re.MULTILINE)


def place(path):
    """(layer, site part) of a file under src/, or None for files outside src/."""
    parts = path.parts
    if parts[0] != "src" or len(parts) < 3:
        return None
    layer = parts[1]
    part = parts[2] if layer == "site" and len(parts) > 3 else ""
    return layer, part


def resolve(root, including, name):
    """The repository file an include names, or None for headers from elsewhere."""
    for base in (root / "src", root / "tests", root / including.parent):
        candidate = (base / name).resolve()
        if candidate.is_file() and root in candidate.parents:
            return candidate.relative_to(root)
    return None


def layering_fault(source, target):
    src_place, tgt_place = place(source), place(target)
    if src_place is None:
        return None
    if src_place[0] not in LAYERS:
        return f"{source}: folder src/{src_place[0]} is not a known layer"
    if tgt_place is None:
        return f"{source} includes {target}, which is not part of src/"
    (src_layer, src_part), (tgt_layer, tgt_part) = src_place, tgt_place
    if tgt_layer not in LAYERS or LAYERS.index(tgt_layer) > LAYERS.index(src_layer):
        return f"{source} ({src_layer}) includes {target} ({tgt_layer}), a higher layer"
    if src_layer == "site" == tgt_layer and tgt_part and tgt_part != src_part:
        owner = f"module {src_part}" if src_part else "the site core"
        return f"{source} ({owner}) includes {target} of module {tgt_part}"
    return None


def include_loops(graph):
    """Every strongly connected group of files larger than one, or including itself."""
    index, low, on_stack, stack, loops = {}, {}, set(), [], []
    counter = [0]

    def visit(node):
        # Iterative Tarjan: an include chain can be deeper than Python's recursion limit.
        work = [(node, iter(sorted(graph.get(node, ()))))]
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        while work:
            current, successors = work[-1]
            advanced = False
            for nxt in successors:
                if nxt not in index:
                    index[nxt] = low[nxt] = counter[0]
                    counter[0] += 1
                    stack.append(nxt)
                    on_stack.add(nxt)
                    work.append((nxt, iter(sorted(graph.get(nxt, ())))))
                    advanced = True
                    break
                if nxt in on_stack:
                    low[current] = min(low[current], index[nxt])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[current])
            if low[current] == index[current]:
                group = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    group.append(member)
                    if member == current:
                        break
                if len(group) > 1 or current in graph.get(current, ()):
                    loops.append(sorted(group))

    for node in sorted(graph):
        if node not in index:
            visit(node)
    return loops


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent.parent).resolve()
    graph, faults = {}, []
    for top in CHECKED_ROOTS:
        for file in sorted((root / top).rglob("*")):
            if file.suffix not in SOURCE_SUFFIXES or not file.is_file():
                continue
            source = file.relative_to(root)
            text = file.read_text(encoding="utf-8", errors="replace")
            for name in INCLUDE.findall(text):
                target = resolve(root, file, name)
                if target is None:
                    continue
                graph.setdefault(source, set()).add(target)
                fault = layering_fault(source, target)
                if fault:
                    faults.append(fault)
    for loop in include_loops(graph):
        faults.append("files including each other in a loop: " + ", ".join(str(p) for p in loop))
    for fault in faults:
        print(fault, file=sys.stderr)
    if faults:
        print(f"check-layers: {len(faults)} fault(s)", file=sys.stderr)
        return 1
    print("check-layers: every include points down, no include loops")
    return 0


if __name__ == "__main__":
    sys.exit(main())
