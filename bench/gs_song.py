#!/usr/bin/env python3
"""Writes a dense GS song for the synthesizer's cost: a GS reset, reverb and
chorus macros, a variation bank and part NRPN (vibrato, filter, envelope) on
every part, drum key NRPN on the rhythm part, cutoff sweeps and bends while
about 100 notes a second play across 16 channels.
    bench/gs_song.py OUT.mid [SECONDS]"""
import random
import struct
import sys


def vlq(v):
    out = [v & 0x7F]
    v >>= 7
    while v:
        out.append(0x80 | (v & 0x7F))
        v >>= 7
    return bytes(reversed(out))


def gs(a1, a2, a3, data):
    body = [a1, a2, a3] + data
    return bytes([0xF0, 0x41, 0x10, 0x42, 0x12] + body + [(128 - sum(body) % 128) % 128, 0xF7])


def track(events):
    events.sort(key=lambda e: e[0])
    out, last = bytearray(), 0
    for t, b in events:
        out += vlq(t - last)
        last = t
        if b[0] == 0xF0:
            out += bytes([0xF0]) + vlq(len(b) - 1) + b[1:]
        else:
            out += b
    out += vlq(0) + bytes([0xFF, 0x2F, 0x00])
    return b"MTrk" + struct.pack(">I", len(out)) + out


def main():
    path, seconds = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 30
    rnd = random.Random(7)
    ms = seconds * 1000
    setup = [(0, gs(0x40, 0x00, 0x7F, [0])), (10, gs(0x40, 0x01, 0x30, [3])),
             (10, gs(0x40, 0x01, 0x38, [1])), (10, gs(0x40, 0x00, 0x04, [110]))]
    tracks = [track(setup)]
    for c in range(16):
        ev = []
        cc = lambda t, n, v: ev.append((t, bytes([0xB0 | c, n, v])))
        nrpn = lambda t, m, l, v: [cc(t, 99, m), cc(t, 98, l), cc(t, 6, v)]
        if c != 9:
            cc(20, 0, 8)
            ev.append((20, bytes([0xC0 | c, rnd.randrange(0, 100)])))
            for lsb, v in ((0x08, 80), (0x09, 90), (0x21, 80), (0x63, 70), (0x66, 60)):
                nrpn(30, 1, lsb, v)
        else:
            for key in (36, 38, 42, 46):
                nrpn(30, 0x1A, key, 100)
                nrpn(30, 0x1C, key, 30 + key)
                nrpn(30, 0x18, key, 62)
        cc(30, 91, 60)
        cc(30, 93, 40)
        t = 100 + c
        while t < ms - 300:
            key = 36 + rnd.randrange(60) if c != 9 else rnd.choice((36, 38, 42, 46, 49))
            ev.append((t, bytes([0x90 | c, key, 1 + rnd.randrange(126)])))
            ev.append((t + 80, bytes([0x80 | c, key, 0x40])))
            if c != 9 and rnd.random() < 0.3:
                nrpn(t, 1, 0x20, 30 + rnd.randrange(60))
                bend = rnd.randrange(16384)
                ev.append((t + 20, bytes([0xE0 | c, bend & 0x7F, bend >> 7])))
            t += 100 + rnd.randrange(120)
        tracks.append(track(ev))
    head = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), 500)
    with open(path, "wb") as f:
        f.write(head + b"".join(tracks))


if __name__ == "__main__":
    main()
