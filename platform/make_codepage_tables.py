#!/usr/bin/env python3
"""Writes codepage_tables.cpp: the upper half of each 8-bit Windows code page that Kelvaron
carries, with the upper and lower case of each byte.

What a byte stands for is Python's codec of the code page; a byte the code page leaves
unassigned stands for the C1 control of its own value, as Windows maps it. A byte's upper
(lower) case is Unicode's simple case mapping of its character, when that is one character
the same code page holds; otherwise the byte keeps its case (German sharp s, the micro sign).

  python3 platform/make_codepage_tables.py | clang-format --assume-filename=x.cpp \
      > platform/codepage_tables.cpp
"""
import sys

PAGES = [1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258]


def char_of(page, b):
    try:
        return bytes([b]).decode(f"cp{page}")
    except UnicodeDecodeError:
        return chr(b)


def byte_of(page, ch):
    for b in range(256):
        if char_of(page, b) == ch:
            return b
    return None


def cased(page, b, how):
    ch = char_of(page, b)
    other = ch.upper() if how == "upper" else ch.lower()
    if len(other) != 1:
        return b
    found = byte_of(page, other)
    return b if found is None else found


def rows(values, width, fmt):
    out = []
    for i in range(0, len(values), width):
        out.append("        " + ", ".join(fmt(v) for v in values[i:i + width]) + ",")
    return "\n".join(out)


def main():
    w = sys.stdout.write
    w("// Made by make_codepage_tables.py; change that script, not this file.\n")
    w('#include "platform/codepage_tables.h"\n\n')
    w("namespace platform::tables {\n\n")
    w("const std::array<CodePageTable, %d> kCodePages = {{\n" % len(PAGES))
    for page in PAGES:
        high = [ord(char_of(page, b)) for b in range(0x80, 0x100)]
        upper = [cased(page, b, "upper") for b in range(0x80, 0x100)]
        lower = [cased(page, b, "lower") for b in range(0x80, 0x100)]
        w("    {%d,\n" % page)
        w("     {{\n%s\n     }},\n" % rows(high, 8, lambda v: "0x%04X" % v))
        w("     {{\n%s\n     }},\n" % rows(upper, 12, lambda v: "0x%02X" % v))
        w("     {{\n%s\n     }}},\n" % rows(lower, 12, lambda v: "0x%02X" % v))
    w("}};\n\n}  // namespace platform::tables\n")


main()
