#!/usr/bin/env python3
"""Generates support/inst_table.cpp, SfrLib's constant instrument name table.

Input: support/data/instrument_names.tsv (bank, map, program, name, source),
a reconstruction of the GM/GS/XG voice lists. The rules below turn it into the
table the library ships: the library's own spellings win over the data, the
copy rows are derived rather than read, and every fixed entry is checked.

    gen_inst_table.py            rewrite support/inst_table.cpp
    gen_inst_table.py --check    exit 1 when the committed file is stale
    gen_inst_table.py --report   print the per-row counts against the targets
"""
import csv
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
DATA = os.path.join(ROOT, "support", "data", "instrument_names.tsv")
OUT = os.path.join(ROOT, "support", "inst_table.cpp")

MAX_NAME = 14
GS_VARIATION_BANKS = [b for b in range(1, 48) if b != 14]
BANK48_XG_MAPS = [8, 16, 24, 48, 56, 64, 72, 80, 88, 96, 104, 120]

# Names the library fixes whatever the data says: every telling entry of the
# table plus the entries the data lacks but that are known.
FIXED = {
    (0, 0, 0): "GrandPno", (0, 0, 1): "BritePno", (0, 0, 24): "NylonGtr", (0, 0, 127): "Gunshot",
    (0, 1, 0): "GrndPnoK", (0, 1, 7): "Clavi K", (0, 1, 9): "Glockenspiel", (0, 1, 16): "Organ 1",
    (0, 2, 0): "Piano 1", (0, 2, 24): "Nylon-str. Gt.", (0, 2, 38): "SynthBass 1",
    (0, 3, 1): "StBrtPno", (0, 3, 16): "StDrawOr", (0, 3, 48): "S.Strngs",
    (0, 4, 0): "Piano 1", (0, 4, 24): "Nylon-str.Gt", (0, 4, 45): "PizzicatoStr",
    (0, 6, 34): "PickBa2", (0, 8, 40): "Slow Vln", (0, 64, 0): "ConGrnd", (0, 96, 12): "Balafon",
    (0, 126, 0): "GrandP #", (0, 126, 2): "El.Grand", (0, 126, 4): "EPiano1#",
    (1, 1, 38): "Syn.Bass101", (1, 2, 38): "SynthBass101", (1, 3, 38): "SynthBass101",
    (1, 4, 38): "SynthBass101",
    (8, 1, 0): "Piano 1w", (8, 2, 0): "Piano 1w", (8, 3, 0): "Piano 1w", (8, 4, 0): "Upright P w",
    (14, 3, 38): "Rubber303 Bs", (14, 4, 101): "UFO FX",
    (48, 0, 0): "MtdClavi", (48, 0, 1): "Orimba", (48, 0, 16): "5th Organ",
    (48, 3, 16): "5th Organ", (48, 4, 16): "5th Organ",
    (48, 8, 0): "Beeline",
    (64, 0, 0): "CuttngNz", (64, 0, 32): "Shower", (64, 0, 112): "MchinGun",
    (126, 0, 0): "SFX Kit1", (126, 0, 1): "SFX Kit2", (126, 0, 16): "TknoKtKS",
    (126, 0, 32): "SakuraKt", (126, 0, 112): "Kit01", (126, 0, 113): "Kit02",
    (126, 0, 114): "Kit03", (126, 0, 115): "Kit04",
    (126, 1, 0): "Piano2", (126, 1, 3): "Honky-tonk", (126, 1, 63): "Orchest.Hit",
    (127, 1, 0): "Acou Piano1", (127, 1, 64): "Acou Bass1", (127, 1, 127): "Jungle Tune",
}

# The same voice is spelt the same way throughout a row: where a fixed entry
# changes a spelling, its siblings in that row follow.
ROW_SPELLING = {
    (126, 1): {"Piano 2": "Piano2"},
    (127, 1): {"Acou Bass 2": "Acou Bass2"},
}

# Named entries per row that the table is meant to reach; None where only a
# total over several rows is known.
TARGET_TOTAL = 5693
TARGET_ROWS = 266
TARGET = {(0, m): 128 for m in range(5)}
TARGET.update({(0, 126): 128, (0, 127): 128, (14, 0): 128, (14, 1): 128, (14, 3): 2,
               (14, 4): 13, (48, 0): 3, (48, 3): 1, (48, 4): 1, (64, 0): 58, (126, 0): 12,
               (126, 1): 64, (127, 1): 128})
GROUP_TARGETS = [
    ("bank 0, sparse XG maps 6-101 (71 rows)", lambda b, m: b == 0 and 6 <= m <= 101, 889, 71),
    ("GS variation banks, maps 1-4", lambda b, m: b in GS_VARIATION_BANKS and 1 <= m <= 4, 2151,
     None),
    ("bank 48, XG maps 8-120 (12 rows, 1 to 22 each)", lambda b, m: b == 48 and m in BANK48_XG_MAPS,
     99, 12),
]


def read_data():
    rows = {}
    with open(DATA, newline="", encoding="utf-8") as f:
        for r in csv.DictReader(f, delimiter="\t"):
            key = (int(r["bank"]), int(r["map"]))
            rows.setdefault(key, {})[int(r["program"])] = r["name"]
    return rows


def allowed_row(bank, map_):
    if bank == 0:
        return map_ <= 4 or 6 <= map_ <= 101 or map_ in (126, 127)
    if bank in GS_VARIATION_BANKS:
        return map_ <= 4
    if bank == 14:
        return map_ in (0, 1, 3, 4)
    if bank == 48:
        return map_ in (0, 3, 4) or map_ in BANK48_XG_MAPS
    return (bank, map_) in ((64, 0), (126, 0), (126, 1), (127, 1))


def build():
    rows = read_data()
    # Derived rows are never read from the data.
    for b in GS_VARIATION_BANKS:
        rows.pop((b, 0), None)
    rows.pop((0, 127), None)
    for (b, m, p), name in FIXED.items():
        rows.setdefault((b, m), {})[p] = name
    for key, table in ROW_SPELLING.items():
        for p, name in rows.get(key, {}).items():
            if (key[0], key[1], p) not in FIXED:
                rows[key][p] = table.get(name, name)
    for b in GS_VARIATION_BANKS:
        if (b, 4) in rows:
            rows[(b, 0)] = dict(rows[(b, 4)])
    rows[(0, 127)] = dict(rows[(0, 0)])
    rows[(14, 0)] = {p: "Voice%03d" % (p + 1) for p in range(128)}
    rows[(14, 1)] = {p: "Voice%03d" % (p + 129) for p in range(128)}

    problems = []
    for (b, m), table in rows.items():
        if not allowed_row(b, m):
            problems.append("row %d/%d is not a row of the table" % (b, m))
        for p, name in table.items():
            if not 0 <= p <= 127:
                problems.append("%d/%d/%d: program out of range" % (b, m, p))
            if not name or len(name) > MAX_NAME or not all(" " <= c <= "~" for c in name):
                problems.append("%d/%d/%d: bad name %r" % (b, m, p, name))
    for (b, m, p), name in FIXED.items():
        if rows[(b, m)].get(p) != name:
            problems.append("%d/%d/%d: %r, not %r" % (b, m, p, rows[(b, m)].get(p), name))
    longest = max(len(n) for t in rows.values() for n in t.values())
    if longest != MAX_NAME:
        problems.append("longest name has %d characters" % longest)
    if problems:
        sys.exit("gen_inst_table: " + "\n  ".join([""] + problems))
    return {k: v for k, v in sorted(rows.items()) if v}


def report(rows):
    total = sum(len(t) for t in rows.values())
    print("rows %d of %d, named entries %d of %d" % (len(rows), TARGET_ROWS, total, TARGET_TOTAL))
    for key, want in sorted(TARGET.items()):
        have = len(rows.get(key, {}))
        if have != want:
            print("  %d/%d: %d of %d" % (key[0], key[1], have, want))
    for label, pred, want, want_rows in GROUP_TARGETS:
        keys = [k for k in rows if pred(*k)]
        have = sum(len(rows[k]) for k in keys)
        if have != want or (want_rows is not None and len(keys) != want_rows):
            print("  %s: %d names in %d rows, target %d names" % (label, have, len(keys), want))


def c_string(name):
    return '"' + name.replace("\\", "\\\\").replace('"', '\\"') + '\\0"'


def render(rows):
    pool = {"": 0}
    pool_parts = ['"\\0"']
    size = 1
    for table in rows.values():
        for p in sorted(table):
            name = table[p]
            if name not in pool:
                pool[name] = size
                pool_parts.append(c_string(name))
                size += len(name) + 1
    if size > 0xFFFF:
        sys.exit("gen_inst_table: the name pool outgrew 16-bit offsets")

    unique = {}
    row_of = {}
    for key, table in rows.items():
        offsets = tuple(pool[table.get(p, "")] for p in range(128))
        row_of[key] = unique.setdefault(offsets, len(unique))

    out = []
    w = out.append
    w("// Generated by support/tools/gen_inst_table.py from support/data/instrument_names.tsv.")
    w("// Do not edit: change the data or the rules in the script and run it again.")
    w("// clang-format off")
    w('#include "support/inst_table.h"')
    w("")
    w("namespace sfrlib {")
    w("")
    w("// Every distinct name once, NUL-terminated; offset 0 is the empty name.")
    w("const char kInstNamePool[] =")
    line = "   "
    for part in pool_parts:
        if len(line) + len(part) + 1 > 98:
            w(line)
            line = "   "
        line += " " + part
    w(line + ";")
    w("const size_t kInstNamePoolSize = %d;" % size)
    w("")
    w("// Pool offsets of programs 0-127, one array per distinct row.")
    w("const uint16_t kInstRowNames[%d][128] = {" % len(unique))
    for offsets in unique:
        w("    {")
        for i in range(0, 128, 16):
            w("        " + ", ".join(str(o) for o in offsets[i:i + 16]) + ",")
        w("    },")
    w("};")
    w("")
    w("const InstRowKey kInstRowKeys[] = {")
    keys = list(rows)
    for i in range(0, len(keys), 6):
        w("    " + " ".join("{%d, %d, %d}," % (b, m, row_of[(b, m)]) for b, m in keys[i:i + 6]))
    w("};")
    w("const size_t kInstRowKeyCount = sizeof kInstRowKeys / sizeof kInstRowKeys[0];")
    w("")
    w("}  // namespace sfrlib")
    return "\n".join(out) + "\n"


def main():
    rows = build()
    text = render(rows)
    if "--report" in sys.argv:
        report(rows)
        return 0
    if "--check" in sys.argv:
        with open(OUT, encoding="utf-8") as f:
            if f.read() != text:
                print("support/inst_table.cpp is stale: run support/tools/gen_inst_table.py")
                return 1
        return 0
    with open(OUT, "w", encoding="utf-8") as f:
        f.write(text)
    report(rows)
    return 0


if __name__ == "__main__":
    sys.exit(main())
