"""Writes the interop sample with xlwt: texts, numbers, times in several
formats, booleans, errors and a second sheet that must be ignored."""
import sys

import xlwt

book = xlwt.Workbook(encoding="utf-8")
sheet = book.add_sheet("Times")
other = book.add_sheet("Other")
other.write(0, 0, "not the time table")
time = xlwt.easyxf(num_format_str="m:ss.000")
hms = xlwt.easyxf(num_format_str="[h]:mm:ss.000")
sheet.write(1, 1, "Stadtlauf")
sheet.write(2, 1, "Ergebnisse")
sheet.write(5, 5, 118.25 / 86400, time)
names = ["Müller", "Šimon", "Øre", "Nuñez", "日本"]
for i, name in enumerate(names):
    row = 9 + i
    sheet.write(row, 1, i + 1)
    sheet.write(row, 2, name)
    sheet.write(row, 4, "AUT")
    sheet.write(row, 5, (60 + i + 0.125) / 86400, time)
    sheet.write(row, 7, (3600 + i) / 86400, hms)
sheet.write(20, 1, 0.1)
sheet.write(20, 2, -123456789.5)
sheet.write(20, 3, True)
sheet.write(20, 4, 1.5e300)
sheet.write(20, 5, "x" * 9000)
for i in range(2000):
    sheet.write(100 + i, 2, "Läufer %d" % i)
book.save(sys.argv[1])
