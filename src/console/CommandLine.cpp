#include "console/CommandLine.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace {
const QString kName = QStringLiteral("timedisplay");

bool isPort(const QString& v) {
    if (v == QLatin1String("any"))
        return true;
    bool ok = false;
    const int n = v.toInt(&ok);
    return ok && n >= 0 && n <= 65535 && !v.startsWith(u'+');
}
} // namespace

CommandLine parseCommandLine(const QStringList& args) {
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Scoreboard for a sports-timing device on a serial line.\n"
                       "Reads and writes disp.ini and liste.xls in the working folder; pictures\n"
                       "and language files are taken from there first, then from the installed\n"
                       "data folder."));
    cli::addStandardOptions(p);
    const QCommandLineOption workdir(QStringLiteral("workdir"),
                                     QStringLiteral("Run in DIR (default: the current folder)."),
                                     QStringLiteral("DIR"));
    const QCommandLineOption webPort(QStringLiteral("web-port"),
                                     QStringLiteral("Serve the web board on port N (0: no web board), or on any free port."),
                                     QStringLiteral("N|any"));
    const QCommandLineOption webListen(QStringLiteral("web-listen"),
                                       QStringLiteral("Address the web board listens on."),
                                       QStringLiteral("ADDR"));
    const QCommandLineOption mqtt(QStringLiteral("mqtt"),
                                  QStringLiteral("Publish the board for this run on the MQTT broker "
                                                 "mqtt://[user:pass@]host[:port]/prefix (prefix: timedisplay "
                                                 "when none is given)."),
                                  QStringLiteral("URL"));
    const QCommandLineOption follow(QStringLiteral("follow"),
                                    QStringLiteral("Show the board of another timedisplay, display only (no serial "
                                                   "port, no time table or journal written): its MQTT state topic "
                                                   "mqtt://[user:pass@]host[:port]/prefix or its web board "
                                                   "http://host:port/."),
                                    QStringLiteral("URL"));
    p.addOptions({workdir, webPort, webListen, mqtt, follow});

    CommandLine cl;
    cl.outcome = cli::check(p, args, kName, QStringLiteral(TD_VERSION));
    if (cl.outcome.exit)
        return cl;
    if (!p.positionalArguments().isEmpty()) {
        cl.outcome = cli::refuse(p, kName, QStringLiteral("unexpected argument '%1'.").arg(p.positionalArguments().first()));
        return cl;
    }
    if (p.isSet(workdir)) {
        cl.options.workdir = p.value(workdir);
        if (!QFileInfo(cl.options.workdir).isDir()) {
            cl.outcome = cli::refuse(p, kName, QStringLiteral("'%1' is not a folder.").arg(cl.options.workdir));
            return cl;
        }
    }
    if (p.isSet(webPort)) {
        if (!isPort(p.value(webPort))) {
            cl.outcome = cli::refuse(p, kName, QStringLiteral("--web-port takes a port from 0 (off) to 65535 or 'any'."));
            return cl;
        }
        cl.options.webPort = p.value(webPort);
    }
    if (p.isSet(webListen)) {
        if (p.value(webListen).trimmed().isEmpty()) {
            cl.outcome = cli::refuse(p, kName, QStringLiteral("--web-listen takes an address."));
            return cl;
        }
        cl.options.webListen = p.value(webListen);
    }
    if (p.isSet(mqtt)) {
        QString why;
        cl.options.mqtt = mqtturl::parse(p.value(mqtt), &why);
        if (!cl.options.mqtt) {
            cl.outcome = cli::refuse(p, kName, QStringLiteral("--mqtt: %1.").arg(why));
            return cl;
        }
    }
    if (p.isSet(follow)) {
        QString why;
        cl.options.follow = followurl::parse(p.value(follow), &why);
        if (!cl.options.follow) {
            cl.outcome = cli::refuse(p, kName, QStringLiteral("--follow: %1.").arg(why));
            return cl;
        }
        const FollowSource& f = *cl.options.follow;
        const auto& m = cl.options.mqtt;
        if (m && f.kind == FollowSource::Kind::Mqtt && m->host == f.mqtt.host && m->port == f.mqtt.port &&
            m->prefix == f.mqtt.prefix) {
            // It would publish its own board onto the state it follows.
            cl.outcome = cli::refuse(p, kName, QStringLiteral("--mqtt names the topics --follow reads."));
            return cl;
        }
    }
    return cl;
}
