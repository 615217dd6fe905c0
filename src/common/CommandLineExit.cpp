#include "common/CommandLineExit.h"

#include <QCommandLineParser>
#include <cstdio>

namespace cli {

namespace {
QString usage(const QCommandLineParser& p, const QString& name) {
    // The first line names the executable as it was called, or a placeholder
    // before an application object exists: always use the program's name.
    QString text = p.helpText();
    const qsizetype eol = text.indexOf(u'\n');
    const QString first = text.left(eol);
    const qsizetype options = first.indexOf(QStringLiteral(" [options]"));
    if (first.startsWith(QStringLiteral("Usage: ")) && options > 0)
        text = QStringLiteral("Usage: ") + name + text.mid(options);
    return text;
}
} // namespace

void addStandardOptions(QCommandLineParser& p) {
    p.addOption(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                                   QStringLiteral("Print this help and end.")));
    p.addOption(QCommandLineOption({QStringLiteral("v"), QStringLiteral("version")},
                                   QStringLiteral("Print the version and end.")));
}

Outcome check(QCommandLineParser& p, const QStringList& args, const QString& name, const QString& version) {
    Outcome o;
    if (!p.parse(args))
        return refuse(p, name, p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        o.exit = true;
        o.out = usage(p, name);
    } else if (p.isSet(QStringLiteral("version"))) {
        o.exit = true;
        o.out = name + u' ' + version + u'\n';
    }
    return o;
}

Outcome refuse(const QCommandLineParser& p, const QString& name, const QString& reason) {
    Outcome o;
    o.exit = true;
    o.code = kUsageError;
    o.err = name + QStringLiteral(": ") + reason + u'\n' + usage(p, name);
    return o;
}

bool print(const Outcome& o) {
    if (!o.out.isEmpty()) {
        const QByteArray b = o.out.toLocal8Bit();
        std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
        std::fflush(stdout);
    }
    if (!o.err.isEmpty()) {
        const QByteArray b = o.err.toLocal8Bit();
        std::fwrite(b.constData(), 1, size_t(b.size()), stderr);
    }
    return o.exit;
}

} // namespace cli
