#pragma once
#include <QString>
#include <QStringList>

class QCommandLineParser;

// The command line conventions shared by the program and its tools:
// -h/--help and -v/--version print to standard output and end with 0; an
// unknown option or a missing value prints the reason and the usage to
// standard error and ends with 2.
namespace cli {

constexpr int kUsageError = 2;

// What to do after parsing, kept apart from printing so it can be tested.
struct Outcome {
    bool exit = false;  // end now, with `code`
    int code = 0;
    QString out;        // for standard output
    QString err;        // for standard error
};

// Adds -h/--help and -v/--version to `p`. Call before `check`.
void addStandardOptions(QCommandLineParser& p);

// Parses `args` (args[0] is the program) with `p`. `name` heads the usage
// line, `version` is the version number.
Outcome check(QCommandLineParser& p, const QStringList& args, const QString& name, const QString& version);

// Prints the outcome's texts; returns true when the program is to end.
bool print(const Outcome& o);

// The usage line for a value that the parser took but the program refuses.
Outcome refuse(const QCommandLineParser& p, const QString& name, const QString& reason);

} // namespace cli
