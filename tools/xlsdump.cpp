// xlsdump FILE: prints every non-empty cell of the first sheet of an .xls,
// one line per cell: row, tab, column, tab, entry text (UTF-8, with \\, \t,
// \n, \r escaped). A file the reader rejects: the reason on stderr, exit 1.
#include "timetable/Sheet.h"
#include "timetable/Xls.h"

#include <QCoreApplication>
#include <QString>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: xlsdump FILE.xls\n");
        return 2;
    }
    Sheet sheet;
    QString why;
    if (!xls::readFile(QString::fromLocal8Bit(argv[1]), sheet, &why)) {
        std::fprintf(stderr, "xlsdump: %s: %s\n", argv[1], why.toUtf8().constData());
        return 1;
    }
    std::string out;
    for (size_t r = 0; r < sheet.rows().size(); ++r) {
        for (const Cell& c : sheet.rows()[r]) {
            if (c.kind == Cell::Empty)
                continue;
            const QByteArray text = sheet.entry(int(r) + 1, c.col + 1).toUtf8();
            out += std::to_string(r + 1);
            out += '\t';
            out += std::to_string(c.col + 1);
            out += '\t';
            for (char ch : text) {
                switch (ch) {
                case '\\': out += "\\\\"; break;
                case '\t': out += "\\t"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                default: out += ch;
                }
            }
            out += '\n';
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
