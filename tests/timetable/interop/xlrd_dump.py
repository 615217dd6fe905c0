"""Prints what xlrd reads from an .xls: the first sheet's name, then one JSON
line per non-empty cell: [row, column (from 1), xlrd cell type, value, the
cell's number format]."""
import json
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
sheet = book.sheet_by_index(0)
print(sheet.name)
for r in range(sheet.nrows):
    for c in range(sheet.ncols):
        cell = sheet.cell(r, c)
        if cell.ctype == xlrd.XL_CELL_EMPTY:
            continue
        fmt = book.format_map[book.xf_list[cell.xf_index].format_key].format_str
        print(json.dumps([r + 1, c + 1, cell.ctype, cell.value, fmt], ensure_ascii=False))
