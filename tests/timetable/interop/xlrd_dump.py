"""Prints what xlrd reads from an .xls: the sheet's name, then one JSON line
per non-empty cell: [row, column (from 1), xlrd cell type, value, the cell's
number format]. The sheet is the first, or the one named by the second
argument (a sheet that is not there: nothing, exit status 3)."""
import json
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
if len(sys.argv) > 2:
    if sys.argv[2] not in book.sheet_names():
        sys.exit(3)
    sheet = book.sheet_by_name(sys.argv[2])
else:
    sheet = book.sheet_by_index(0)
print(sheet.name)
for r in range(sheet.nrows):
    for c in range(sheet.ncols):
        cell = sheet.cell(r, c)
        if cell.ctype == xlrd.XL_CELL_EMPTY:
            continue
        fmt = book.format_map[book.xf_list[cell.xf_index].format_key].format_str
        print(json.dumps([r + 1, c + 1, cell.ctype, cell.value, fmt], ensure_ascii=False))
