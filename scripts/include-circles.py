#!/usr/bin/env python3
"""Lists include circles among the source units of player/ and support/.

A unit is a header and its source file taken together (foo.h + foo.cpp);
unit A depends on unit B when either of A's files includes B's header
("player/..." or "support/..." includes; system headers do not count). A
circle is a group of two or more units that depend on each other round a
loop, most often "A's .cpp includes B's header, which includes A's header".
Such a pair is one component split in two, or a piece (a type, a constant,
a function) kept in the wrong unit: move the piece, so that the units form
layers again. Each circle is printed with the include lines that close it.
Exits 1 when it finds any, so CI fails on them.

Usage: scripts/include-circles.py
"""
import collections
import os
import re
import sys

ROOTS = ["player", "support"]
SOURCE = re.compile(r"\.(h|cpp)$")
INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]+"((?:player|support)/[^"]+)"', re.M)


def unit(path):
    return os.path.splitext(path)[0]


def include_graph(top):
    """Unit -> {included unit -> [(file, header)]}, and the set of units."""
    units, edges = set(), collections.defaultdict(lambda: collections.defaultdict(list))
    for root in ROOTS:
        for folder, dirs, files in os.walk(os.path.join(top, root)):
            dirs[:] = [d for d in dirs if d not in ("build", "data")]
            for f in files:
                if not SOURCE.search(f):
                    continue
                path = os.path.relpath(os.path.join(folder, f), top)
                units.add(unit(path))
                with open(os.path.join(top, path), encoding="utf-8", errors="replace") as text:
                    for header in INCLUDE.findall(text.read()):
                        if unit(header) != unit(path):
                            edges[unit(path)][unit(header)].append((path, header))
    return units, edges


def strong_components(nodes, edges):
    """Tarjan's algorithm without recursion: the groups of mutually reachable nodes."""
    index, low, stack, on_stack, groups = {}, {}, [], set(), []
    for start in sorted(nodes):
        if start in index:
            continue
        work = [(start, iter(sorted(edges.get(start, ()))))]
        index[start] = low[start] = len(index)
        stack.append(start)
        on_stack.add(start)
        while work:
            node, targets = work[-1]
            advanced = False
            for target in targets:
                if target not in index:
                    index[target] = low[target] = len(index)
                    stack.append(target)
                    on_stack.add(target)
                    work.append((target, iter(sorted(edges.get(target, ())))))
                    advanced = True
                    break
                if target in on_stack:
                    low[node] = min(low[node], index[target])
            if advanced:
                continue
            work.pop()
            if work:
                parent = work[-1][0]
                low[parent] = min(low[parent], low[node])
            if low[node] == index[node]:
                group = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    group.append(member)
                    if member == node:
                        break
                groups.append(sorted(group))
    return groups


def main():
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    units, edges = include_graph(top)
    circles = [g for g in strong_components(units, edges) if len(g) > 1]
    for group in sorted(circles):
        print(" <-> ".join(group))
        members = set(group)
        for a in group:
            for b in sorted(edges[a].keys() & members):
                for path, header in edges[a][b]:
                    print(f"  {path} includes {header}")
    if circles:
        print(f"include-circles: {len(circles)} circle(s) among {len(units)} units",
              file=sys.stderr)
        return 1
    print(f"include-circles: none among {len(units)} units")
    return 0


if __name__ == "__main__":
    sys.exit(main())
