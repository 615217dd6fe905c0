// xlsdump FILE: prints every non-empty cell of the first sheet of an .xls,
// one line per cell: row, tab, column, tab, entry text (UTF-8, with \\, \t,
// \n, \r escaped). A file the reader rejects: the reason on stderr, exit 1.
#include "common/CommandLineExit.h"
#include "timetable/Sheet.h"
#include "timetable/Xls.h"

#include <QCommandLineParser>
#include <QString>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Prints every non-empty cell of the first sheet of an .xls file:\n"
                                               "row, tab, column, tab, entry text."));
    cli::addStandardOptions(p);
    p.addPositionalArgument(QStringLiteral("FILE.xls"), QStringLiteral("The file to print."));
    cli::Outcome outcome = cli::check(p, args, QStringLiteral("xlsdump"), QStringLiteral(TD_VERSION));
    if (!outcome.exit && p.positionalArguments().size() != 1)
        outcome = cli::refuse(p, QStringLiteral("xlsdump"), QStringLiteral("give exactly one file."));
    if (cli::print(outcome))
        return outcome.code;
    const QString file = p.positionalArguments().first();
    Sheet sheet;
    QString why;
    if (!xls::readFile(file, sheet, &why)) {
        std::fprintf(stderr, "xlsdump: %s: %s\n", qPrintable(file), why.toUtf8().constData());
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
