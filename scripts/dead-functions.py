#!/usr/bin/env python3
"""Lists functions that nothing calls: names that appear only where they are
declared or defined, in product code, tests and benchmarks alike.

universal-ctags finds every function declaration and definition; a name then
counts as used when it occurs anywhere else in the tree (calls, pointers to
members, string look-ups such as the support library's exports). Comments do
not count. Overloads share a name, so one used overload keeps them all: the
check misses some dead code but never flags live code. Exits 1 when it finds
any, so CI fails on them.

Usage: scripts/dead-functions.py [--list]   (--list prints the names only)
"""
import collections
import json
import os
import re
import subprocess
import sys

ROOTS = ["player", "support", "tests", "bench", "tools"]
SOURCE = re.compile(r"\.(h|hpp|cpp|cc|c|mm)$")
WORD = re.compile(r"[A-Za-z_]\w*")
# Names the language, the test framework or a platform calls for us.
CALLED_FROM_OUTSIDE = {
    "main", "SetUp", "TearDown", "SetUpTestSuite", "TearDownTestSuite", "PrintTo",
    "LLVMFuzzerTestOneInput", "LLVMFuzzerInitialize", "DllMain",
    # An allocator's members, called by the standard containers.
    "allocate", "deallocate", "construct", "destroy",
}
# Qt calls these by their names (event handlers, models, moc).
QT_VIRTUALS = re.compile(
    r"^(\w+Event|event|eventFilter|sizeHint|minimumSizeHint|data|rowCount|columnCount|"
    r"headerData|flags|setData|index|parent|paint|timerEvent|nativeEvent|metaObject|"
    r"qt_metacall|qt_metacast|heightForWidth|hasHeightForWidth|initializePage|"
    r"validatePage|done|accept|reject|canFetchMore|fetchMore|mimeData|mimeTypes|"
    r"supportedDropActions|dropMimeData|sort|lessThan|filterAcceptsRow|createEditor|"
    r"setEditorData|setModelData|updateEditorGeometry|displayText|initStyleOption|"
    r"roleNames|changeEvent|setVisible)$")
COMMENT = re.compile(r"//[^\n]*|/\*.*?\*/", re.S)


def source_files(top):
    for root in ROOTS:
        for folder, dirs, files in os.walk(os.path.join(top, root)):
            dirs[:] = [d for d in dirs if d not in ("build", "data")]
            for f in files:
                if SOURCE.search(f):
                    yield os.path.join(folder, f)


def tags(files):
    out = subprocess.run(
        ["ctags", "--output-format=json", "--languages=C++,C", "--map-C++=+.h",
         "--kinds-C++=fp", "--kinds-C=fp", "--fields=+nKsS", "-f", "-", *files],
        check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        t = json.loads(line)
        if t.get("_type") == "tag":
            yield t


def main():
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    files = sorted(source_files(top))
    counts = collections.Counter()
    for path in files:
        with open(path, encoding="utf-8", errors="replace") as f:
            counts.update(WORD.findall(COMMENT.sub(" ", f.read())))
    sites = collections.defaultdict(list)
    for t in tags(files):
        name = t["name"]
        scope = t.get("scope", "")
        if name in CALLED_FROM_OUTSIDE or QT_VIRTUALS.match(name):
            continue
        if name.startswith(("operator", "~", "__")):  # operators, lambdas, sanitizer hooks
            continue
        if name.isupper():  # TEST(...), BENCHMARK(...): macro uses, not functions
            continue
        if scope and scope.split("::")[-1] == name:  # constructor
            continue
        sites[name].append(f"{os.path.relpath(t['path'], top)}:{t['line']}")
    dead = sorted(n for n, where in sites.items() if counts[n] <= len(where))
    for name in dead:
        print(name if "--list" in sys.argv else f"{name}: {', '.join(sites[name])}")
    if dead and "--list" not in sys.argv:
        print(f"dead-functions: {len(dead)} function(s) nothing calls", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
