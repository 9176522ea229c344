#!/usr/bin/python3
"""Peer walk of an .xls: every cell's text through xlrd, as an importer sees it.

Usage: /usr/bin/python3 walk_xlrd.py WORKBOOK.xls
Prints "cells N bytes B" (the cell count and the UTF-8 size of all cell texts),
the same line sheet_walk and freexl_walk print, so the walks can be compared.
"""
import sys

import xlrd


def num_text(v):
    if float(v).is_integer() and abs(v) < 2 ** 53:
        return str(int(v))
    return "%.15g" % v


def main(path):
    book = xlrd.open_workbook(path)
    sh = book.sheet_by_index(0)
    cells = total = 0
    for r in range(sh.nrows):
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            t = cell.ctype
            if t == xlrd.XL_CELL_TEXT:
                s = cell.value
            elif t == xlrd.XL_CELL_NUMBER:
                s = num_text(cell.value)
            elif t in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                s = ""
            else:
                s = str(cell.value)
            cells += 1
            total += len(s.encode("utf-8"))
    print("rows %d cols %d cells %d bytes %d" % (sh.nrows, sh.ncols, cells, total))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    main(sys.argv[1])
