// The commands the documents show are the programs' own: the --help and
// --version commands of README.md run as written, every option a command in
// README.md or the operator guide uses is one its program knows, and each man
// page names exactly the options of its program.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

namespace {

// The programs the documents name, as built.
const std::map<QString, QString> kPrograms = {
    {QStringLiteral("timedisplay"), QStringLiteral(TD_BINARY_DIR "/src/console/timedisplay")},
    {QStringLiteral("timedisplay-sim"), QStringLiteral(TD_BINARY_DIR "/tools/sim/timedisplay-sim")},
    {QStringLiteral("xlsdump"), QStringLiteral(TD_BINARY_DIR "/tools/xlsdump")},
};

QString source(const char* relative) {
    QFile f(QStringLiteral(TD_SOURCE_DIR "/") + QLatin1String(relative));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

struct Outcome {
    int code = -1;
    QString out, err;
};

Outcome run(const QString& program, const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// Options as a text names them: "--long" and "-x", standing on their own.
std::set<QString> optionsIn(const QString& text) {
    static const QRegularExpression option(QStringLiteral("(?:^|[\\s\\[(\"|,])(--?[a-z][a-z-]*)"));
    std::set<QString> out;
    for (auto m = option.globalMatch(text); m.hasNext();)
        out.insert(m.next().captured(1));
    return out;
}

std::set<QString> helpOptions(const QString& program) {
    const Outcome r = run(kPrograms.at(program), {QStringLiteral("--help")});
    return optionsIn(r.out.section(QStringLiteral("Options:"), 1).section(QStringLiteral("Arguments:"), 0, 0));
}

// The lines of a Markdown document's code blocks (indented four blanks, or
// fenced) and its inline code spans.
QStringList codeOf(const QString& markdown) {
    static const QRegularExpression span(QStringLiteral("`([^`]+)`"));
    QStringList out;
    bool fenced = false, blockMayStart = true;
    for (const QString& line : markdown.split(u'\n')) {
        if (line.startsWith(QLatin1String("```"))) {
            fenced = !fenced;
            continue;
        }
        if (fenced) {
            out << line;
            continue;
        }
        if (line.startsWith(QLatin1String("    ")) && blockMayStart) {
            out << line.trimmed();
            continue;
        }
        blockMayStart = line.trimmed().isEmpty();
        for (auto m = span.globalMatch(line); m.hasNext();)
            out << m.next().captured(1);
    }
    return out;
}

struct Command {
    QString program;  // a key of kPrograms
    QStringList args;
    QString text;     // as the document writes it
};

// The commands of the documented programs among the code of a document; a
// synopsis "prog --help | --version" stands for one command per alternative.
std::vector<Command> commandsIn(const QString& markdown) {
    std::vector<Command> out;
    for (QString line : codeOf(markdown)) {
        line = line.section(QStringLiteral(" #"), 0, 0).trimmed();
        QStringList words = line.split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        const QString program = words.takeFirst().section(u'/', -1);
        if (!kPrograms.count(program))
            continue;
        QStringList args;
        for (const QString& w : words) {
            if (w == QLatin1String("|")) {
                out.push_back({program, args, line});
                args.clear();
                continue;
            }
            QString a = w;
            a.remove(u'[').remove(u']');
            args << a;
        }
        out.push_back({program, args, line});
    }
    return out;
}

bool safeInCi(const Command& c) {
    static const QStringList safe = {QStringLiteral("--help"), QStringLiteral("-h"), QStringLiteral("--version"),
                                     QStringLiteral("-v")};
    return !c.args.isEmpty() && std::all_of(c.args.begin(), c.args.end(), [](const QString& a) {
        return safe.contains(a);
    });
}

} // namespace

TEST(Docs, ReadmeHelpAndVersionCommandsRunAsWritten) {
    const QString readme = source("README.md");
    ASSERT_FALSE(readme.isEmpty());
    std::set<QString> ran;
    for (const Command& c : commandsIn(readme)) {
        if (!safeInCi(c))
            continue;
        SCOPED_TRACE(c.text.toStdString());
        const Outcome r = run(kPrograms.at(c.program), c.args);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_EQ(r.err, QString());
        const bool help = c.args.contains(QStringLiteral("--help")) || c.args.contains(QStringLiteral("-h"));
        const QString expected = help ? QStringLiteral("Usage: ") + c.program + u' '
                                      : c.program + QStringLiteral(" " TD_VERSION "\n");
        EXPECT_TRUE(r.out.startsWith(expected)) << r.out.toStdString();
        ran.insert(c.program + u' ' + c.args.join(u' '));
    }
    // The README keeps showing them, so this check never runs out of commands.
    for (const char* shown : {"timedisplay --help", "timedisplay --version", "timedisplay-sim --help"})
        EXPECT_TRUE(ran.count(QLatin1String(shown))) << shown;
}

TEST(Docs, EveryOptionTheDocumentsUseIsTheProgramsOwn) {
    std::map<QString, std::set<QString>> known;
    for (const auto& [program, path] : kPrograms) {
        known[program] = helpOptions(program);
        EXPECT_TRUE(known[program].count(QStringLiteral("--help"))) << program.toStdString();
    }
    int checked = 0;
    for (const char* document : {"README.md", "docs/operator-guide.md", "docs/journal.md", "docs/web.md"}) {
        const QString text = source(document);
        ASSERT_FALSE(text.isEmpty()) << document;
        for (const Command& c : commandsIn(text)) {
            for (const QString& a : c.args) {
                if (!a.startsWith(u'-'))
                    continue;
                ++checked;
                EXPECT_TRUE(known[c.program].count(a.section(u'=', 0, 0)))
                    << document << ": " << c.text.toStdString() << ": " << a.toStdString();
            }
        }
    }
    EXPECT_GE(checked, 6);  // the synopsis, the help commands, the replay
}

TEST(Docs, EachManPageNamesExactlyTheOptionsOfItsProgram) {
    for (const auto& [program, path] : kPrograms) {
        SCOPED_TRACE(program.toStdString());
        QString page = source(qPrintable(QStringLiteral("docs/man/") + program + QStringLiteral(".1")));
        ASSERT_FALSE(page.isEmpty());
        page.replace(QStringLiteral("\\-"), QStringLiteral("-"));
        // Only the synopsis and the options: the rest may mention other programs' options.
        const QString named = page.section(QStringLiteral(".SH SYNOPSIS"), 1).section(QStringLiteral(".SH DESCRIPTION"), 0, 0) +
                              page.section(QStringLiteral(".SH OPTIONS"), 1).section(QStringLiteral(".SH "), 0, 0);
        const std::set<QString> inPage = optionsIn(named);
        const std::set<QString> inHelp = helpOptions(program);
        EXPECT_FALSE(inHelp.empty());
        for (const QString& o : inHelp)
            EXPECT_TRUE(inPage.count(o)) << "the man page lacks " << o.toStdString();
        for (const QString& o : inPage)
            EXPECT_TRUE(inHelp.count(o)) << "the program lacks " << o.toStdString();
    }
}
