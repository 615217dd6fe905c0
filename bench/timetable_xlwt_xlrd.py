"""The xlwt/xlrd side of bench/timetable_bench.cpp: the same table of 1000
runners (18 columns) saved by xlwt and loaded by xlrd, median of N runs.

    /usr/bin/python3 bench/timetable_xlwt_xlrd.py [--runs N] [--write FILE]
"""
import argparse
import os
import statistics
import tempfile
import time

import xlrd
import xlwt

NATIONS = ["AUT", "GER", "SUI", "ITA", "CZE", "NOR", "SLO", "FRA"]


def build():
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Times")
    time_style = xlwt.easyxf(num_format_str="m:ss.000")
    sheet.write(1, 1, "Stadtlauf 2026")
    sheet.write(2, 1, "Ergebnisliste")
    for n in range(1, 1001):
        r = n + 8
        sheet.write(r, 0, n)
        sheet.write(r, 1, n)
        sheet.write(r, 2, "Müller%d" % n)
        sheet.write(r, 3, "Šimon%d" % (n % 97))
        sheet.write(r, 4, NATIONS[n % 8])
        for c in range(6, 18):
            ms = 60000 + n * 37 + c * 1013
            sheet.write(r, c - 1, ms / 86400000.0, time_style)
        sheet.write(r, 17, "Verein %d" % (n % 50))
    return book


def median_ms(fn, runs):
    """Median wall time and median CPU time of one call, in ms."""
    wall, cpu = [], []
    for _ in range(runs):
        w0, c0 = time.perf_counter(), time.process_time()
        fn()
        cpu.append((time.process_time() - c0) * 1000)
        wall.append((time.perf_counter() - w0) * 1000)
    return statistics.median(wall), statistics.median(cpu)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=20)
    ap.add_argument("--write", help="also keep the xlwt file here")
    args = ap.parse_args()
    folder = tempfile.mkdtemp()
    path = os.path.join(folder, "liste.xls")
    book = build()
    save = median_ms(lambda: book.save(path), args.runs)
    build_and_save = median_ms(lambda: build().save(path), args.runs)
    load = median_ms(lambda: xlrd.open_workbook(path), args.runs)
    load_fmt = median_ms(lambda: xlrd.open_workbook(path, formatting_info=True), args.runs)
    print("%-32s %10s %10s" % ("", "wall", "CPU"))
    for name, (w, c) in [("xlwt save (workbook built)", save),
                         ("xlwt build and save", build_and_save),
                         ("xlrd load", load),
                         ("xlrd load with formatting_info", load_fmt)]:
        print("%-32s %7.2f ms %7.2f ms" % (name, w, c))
    if args.write:
        book.save(args.write)


if __name__ == "__main__":
    main()
