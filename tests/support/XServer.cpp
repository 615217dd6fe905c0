#include "XServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

bool pollUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    for (;;) {
        if (done())
            return true;
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(20);
    }
}

XServer::XServer(Options options) : options_(options) {
    if (startServer() && options_.windowManager)
        startWindowManager();
}

XServer::~XServer() {
    for (QProcess* p : {&wm_, &xvfb_}) {
        if (p->state() == QProcess::NotRunning)
            continue;
        p->terminate();
        if (!p->waitForFinished(3000)) {
            p->kill();
            p->waitForFinished(3000);
        }
    }
}

bool XServer::startServer() {
    // -displayfd: the server picks a free display and writes its number to
    // our pipe when it accepts connections.
    xvfb_.setProcessChannelMode(QProcess::SeparateChannels);
    xvfb_.start("Xvfb", {"-displayfd", "1", "-screen", "0",
                         QString("%1x%2x24").arg(options_.screen.width()).arg(options_.screen.height()),
                         "-nolisten", "tcp", "-noreset"});
    if (!xvfb_.waitForStarted(5000)) {
        error_ = "Xvfb did not start";
        return false;
    }
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (!out.contains('\n') && t.elapsed() < 15000 && xvfb_.state() == QProcess::Running) {
        xvfb_.waitForReadyRead(100);
        out += xvfb_.readAllStandardOutput();
    }
    bool ok = false;
    const int n = out.trimmed().toInt(&ok);
    if (!ok) {
        error_ = "Xvfb gave no display: " + QString::fromLocal8Bit(xvfb_.readAllStandardError());
        return false;
    }
    display_ = QString(":%1").arg(n);
    return true;
}

bool XServer::startWindowManager() {
    QProcessEnvironment env = environment();
    wm_.setProcessEnvironment(env);
    wm_.setProcessChannelMode(QProcess::MergedChannels);
    wm_.start("openbox", {"--sm-disable"});
    if (!wm_.waitForStarted(5000)) {
        error_ = "openbox did not start";
        return false;
    }
    // The window manager is ready once it announces itself on the root window
    // and has listed what it supports (a program reads that list at start).
    const bool up = pollUntil(
        [&] {
            const auto check = tool("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"});
            const auto supported = tool("xprop", {"-root", "_NET_SUPPORTED"});
            return check && check->contains("window id") && supported &&
                   supported->contains("_NET_FRAME_EXTENTS") && supported->contains("_NET_WM_STATE_FULLSCREEN");
        },
        15000);
    if (!up)
        error_ = "openbox did not come up";
    return up;
}

QProcessEnvironment XServer::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.remove("WAYLAND_DISPLAY");
    env.remove("XAUTHORITY");
    return env;
}

std::optional<QString> XServer::tool(const QString& program, const QStringList& args, int timeoutMs) const {
    QProcess p;
    p.setProcessEnvironment(environment());
    p.start(program, args);
    if (!p.waitForStarted(5000))
        return std::nullopt;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(1000);
        return std::nullopt;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput());
}

std::optional<QString> XServer::findWindow(const QString& title, int timeoutMs) const {
    std::optional<QString> found;
    pollUntil(
        [&] {
            const auto out = tool("xdotool", {"search", "--onlyvisible", "--name",
                                              QRegularExpression::escape(title)});
            if (!out)
                return false;
            for (const QString& id : out->split('\n', Qt::SkipEmptyParts))
                if (netWmName(id) == title || wmName(id) == title) {
                    found = id;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return found;
}

QStringList XServer::windowsOf(qint64 pid) const {
    const auto out = tool("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid)});
    return out ? out->split('\n', Qt::SkipEmptyParts) : QStringList();
}

std::optional<QRect> XServer::clientGeometry(const QString& id) const {
    const auto out = tool("xwininfo", {"-id", id});
    if (!out)
        return std::nullopt;
    auto field = [&](const char* name) -> std::optional<int> {
        const QRegularExpression re(QString("%1:\\s*(-?\\d+)").arg(QRegularExpression::escape(name)));
        const auto m = re.match(*out);
        if (!m.hasMatch())
            return std::nullopt;
        return m.captured(1).toInt();
    };
    const auto x = field("Absolute upper-left X"), y = field("Absolute upper-left Y");
    const auto w = field("Width"), h = field("Height");
    if (!x || !y || !w || !h)
        return std::nullopt;
    return QRect(*x, *y, *w, *h);
}

QMargins XServer::frameExtents(const QString& id) const {
    const auto out = tool("xprop", {"-id", id, "_NET_FRAME_EXTENTS"});
    const QRegularExpression re("=\\s*(\\d+),\\s*(\\d+),\\s*(\\d+),\\s*(\\d+)");
    const auto m = out ? re.match(*out) : QRegularExpressionMatch();
    if (!m.hasMatch())
        return {};  // no window manager: no frame
    return QMargins(m.captured(1).toInt(), m.captured(3).toInt(), m.captured(2).toInt(), m.captured(4).toInt());
}

std::optional<QRect> XServer::frameGeometry(const QString& id) const {
    const QMargins m = frameExtents(id);
    const auto client = clientGeometry(id);
    if (!client)
        return std::nullopt;
    return client->marginsAdded(m);
}

namespace {
// The quoted value of an xprop line 'NAME(TYPE) = "value"'.
QString quotedValue(const std::optional<QString>& out) {
    if (!out)
        return {};
    const int eq = out->indexOf(" = \"");
    if (eq < 0)
        return {};
    QString v = out->mid(eq + 4).trimmed();
    if (v.endsWith('"'))
        v.chop(1);
    v.replace("\\\"", "\"");
    v.replace("\\\\", "\\");
    return v;
}
} // namespace

QString XServer::wmName(const QString& id) const {
    return quotedValue(tool("xprop", {"-id", id, "WM_NAME"}));
}

QString XServer::netWmName(const QString& id) const {
    return quotedValue(tool("xprop", {"-id", id, "_NET_WM_NAME"}));
}

QStringList XServer::netWmState(const QString& id) const {
    const auto out = tool("xprop", {"-id", id, "_NET_WM_STATE"});
    if (!out || !out->contains('='))
        return {};
    QStringList atoms;
    for (const QString& a : out->section('=', 1).split(',', Qt::SkipEmptyParts))
        atoms << a.trimmed();
    return atoms;
}

QStringList XServer::stacking() const {
    QStringList ids;
    if (!options_.windowManager) {
        // No window manager keeps a list: the root's children, which
        // xwininfo prints from the top down.
        const auto out = tool("xwininfo", {"-root", "-children"});
        if (!out)
            return ids;
        static const QRegularExpression child("^\\s+(0x[0-9a-f]+) ");
        for (const QString& line : out->split('\n')) {
            const auto m = child.match(line);
            if (m.hasMatch())
                ids.prepend(QString::number(m.captured(1).toULongLong(nullptr, 16)));
        }
        return ids;
    }
    const auto out = tool("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"});
    if (!out || !out->contains('#'))
        return ids;
    for (const QString& hex : out->section('#', 1).split(',', Qt::SkipEmptyParts))
        ids << QString::number(hex.trimmed().toULongLong(nullptr, 16));
    return ids;
}

std::optional<QString> XServer::textOf(const QString& id) const {
    // A box whose text can be selected, as an operator copies it: a click
    // into the text, select all, copy.
    const auto clipboard = [&] { return tool("xclip", {"-selection", "clipboard", "-o"}, 2000); };
    const std::optional<QString> before = clipboard();
    const std::optional<QRect> box = clientGeometry(id);
    tool("xdotool", {"windowraise", id});  // another box may lie over a part of it
    QThread::msleep(200);
    if (!box || !click(id, box->width() / 2, 24) || !key(id, "ctrl+a") || !key(id, "ctrl+c"))
        return std::nullopt;
    std::optional<QString> text;
    if (pollUntil(
            [&] {
                text = clipboard();
                return text && !text->isEmpty() && text != before;
            },
            2000))
        return text;
    return std::nullopt;
}

bool XServer::key(const QString& id, const QString& keyName) const {
    if (!tool("xdotool", {"windowfocus", "--sync", id}))
        return false;
    return tool("xdotool", {"key", "--clearmodifiers", keyName}).has_value();
}

bool XServer::click(const QString& id, int x, int y) const {
    // From the corner: a synced move to where the pointer already is waits in vain.
    tool("xdotool", {"mousemove", "0", "0"});
    return tool("xdotool", {"mousemove", "--sync", "--window", id, QString::number(x), QString::number(y),
                            "click", "1"})
        .has_value();
}
