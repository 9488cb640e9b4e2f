#!/usr/bin/env python3
"""Writes the demo's material master files (code page 932, CR LF).

A record: item code (0-5), sub code (6-11), a blank, the type flag (13), a blank, the material
name, blanks up to byte 66, then the size, unit and price columns, 185 bytes in all. Records of
the old layout carry one more byte at position 66 (shown here as '#'), 186 bytes in all.
"""
import sys

NEW_LENGTH = 185


def record(item, sub, flag, name, size, unit, price, old=False):
    head = f"{item}{sub} {flag} ".encode("ascii") + name.encode("cp932")
    assert len(head) <= 66, name
    head = head.ljust(66, b" ")
    tail = f"{size} {unit}".encode("cp932")
    tail = tail.ljust(NEW_LENGTH - 66 - 10, b" ") + f"{price:>10}".encode("ascii")
    line = head + (b"#" if old else b"") + tail
    assert len(line) == NEW_LENGTH + (1 if old else 0)
    return line + b"\r\n"


FILES = {
    "zai001-3.mst": [
        # Old layout, size item: loses byte 66; flag A becomes Z.
        record("400400", "000107", "A", "異形棒鋼 SD295", "D10", "t", 98000, old=True),
        # New layout already: length stays; flag B becomes Z.
        record("400400", "000107", "B", "異形棒鋼 SD345", "D13", "t", 101000),
        # Old layout, the other size sub code: loses byte 66; flag C stays.
        record("400400", "000111", "C", "丸鋼 SR235", "9φ", "t", 95000, old=True),
        # Another sub code: the length stays even in the old layout; flag A becomes Z.
        record("400400", "000200", "A", "鉄線 なまし", "#10", "kg", 260, old=True),
        # Another item code: untouched (a lower-case a is no type flag).
        record("500100", "000107", "a", "生コンクリート 21-18-20", "普通", "m3", 15800, old=True),
    ],
    "zai002-3.mst": [
        record("400400", "000107", "B", "異形棒鋼 SD390", "D16", "t", 104000, old=True),
        record("300200", "000001", "A", "硬質塩化ビニル管 VP", "50A", "m", 1250),
        record("300200", "000002", "Z", "硬質塩化ビニル管 VU", "75A", "m", 980),
    ],
    "zai004-3.mst": [
        record("400400", "000111", "A", "丸鋼 SR295", "13φ", "t", 99000, old=True),
        record("610100", "000003", "B", "電線 IV", "2.0mm", "m", 45),
    ],
}

if __name__ == "__main__":
    name, target = sys.argv[1], sys.argv[2]
    with open(target, "wb") as f:
        f.write(b"".join(FILES[name]))
