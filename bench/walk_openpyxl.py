#!/usr/bin/python3
"""Peer walk of an .xlsx: every cell's text through openpyxl in read-only mode.

Usage: /usr/bin/python3 walk_openpyxl.py WORKBOOK.xlsx
Prints the same summary line as sheet_walk (cell count, UTF-8 size of all texts).
"""
import datetime
import sys

import openpyxl


def num_text(v):
    if float(v).is_integer() and abs(v) < 2 ** 53:
        return str(int(v))
    return "%.15g" % v


def text(v):
    if v is None:
        return ""
    if isinstance(v, str):
        return v
    if isinstance(v, bool):
        return "True" if v else "False"
    if isinstance(v, (int, float)):
        return num_text(v)
    if isinstance(v, datetime.datetime):
        return v.strftime("%Y-%m-%d")
    return str(v)


def main(path):
    wb = openpyxl.load_workbook(path, read_only=True, data_only=True)
    ws = wb.worksheets[0]
    rows = cols = cells = total = 0
    for row in ws.iter_rows(values_only=True):
        rows += 1
        cols = max(cols, len(row))
        for v in row:
            cells += 1
            total += len(text(v).encode("utf-8"))
    print("rows %d cols %d cells %d bytes %d" % (rows, cols, cells, total))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    main(sys.argv[1])
