#include "input/InputUrl.h"

#include <QHostAddress>

QString TcpTarget::url() const {
    const QString h = host.contains(u':') ? '[' + host + ']' : host;
    return QStringLiteral("tcp://%1:%2").arg(h).arg(port);
}

namespace inputurl {

namespace {
const QString kScheme = QStringLiteral("tcp://");

bool nameChar(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.' ||
           c == u'-' || c == u'_';
}
} // namespace

bool isTcp(const QString& text) { return text.trimmed().startsWith(kScheme, Qt::CaseInsensitive); }

std::optional<TcpTarget> parseTcp(const QString& text, QString* why, bool bare) {
    // Untrusted (disp.ini, the operator's typing): every part is checked,
    // nothing is guessed.
    auto fail = [why](const QString& w) {
        if (why)
            *why = w;
        return std::nullopt;
    };
    const QString shown = text.trimmed().left(80);
    QString rest = text.trimmed();
    if (rest.startsWith(kScheme, Qt::CaseInsensitive))
        rest.remove(0, kScheme.size());
    else if (!bare || rest.contains(QLatin1String("://")))
        return fail(QStringLiteral("'%1' does not begin with tcp://").arg(shown));
    if (rest.endsWith(u'/'))
        rest.chop(1);  // tcp://host:port/ as a browser would write it
    if (rest.isEmpty())
        return fail(QStringLiteral("'%1' names no device server").arg(shown));
    for (QChar c : rest) {
        if (c.isSpace() || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return fail(QStringLiteral("'%1' holds a blank or a control character").arg(shown));
        if (c == u'/' || c == u'?' || c == u'#' || c == u'@')
            return fail(QStringLiteral("'%1' holds more than host:port").arg(shown));
    }

    TcpTarget t;
    QString portText;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0)
            return fail(QStringLiteral("'%1' has no closing ]").arg(shown));
        t.host = rest.mid(1, close - 1);
        const QHostAddress a(t.host);
        if (a.isNull() || a.protocol() != QAbstractSocket::IPv6Protocol)
            return fail(QStringLiteral("'%1' has no IPv6 address in brackets").arg(shown));
        rest = rest.mid(close + 1);
        if (!rest.startsWith(u':'))
            return fail(QStringLiteral("'%1' names no port (host:port)").arg(shown));
        portText = rest.mid(1);
    } else {
        const qsizetype colon = rest.lastIndexOf(u':');
        if (colon < 0)
            return fail(QStringLiteral("'%1' names no port (host:port)").arg(shown));
        t.host = rest.left(colon);
        portText = rest.mid(colon + 1);
        if (t.host.contains(u':'))
            return fail(QStringLiteral("'%1': an IPv6 address goes in brackets, [::1]:4001").arg(shown));
        if (t.host.isEmpty())
            return fail(QStringLiteral("'%1' names no host").arg(shown));
        if (t.host.size() > 253 || t.host.startsWith(u'.') || t.host.startsWith(u'-') ||
            t.host.contains(QLatin1String("..")))
            return fail(QStringLiteral("'%1' has no valid host name").arg(shown));
        for (QChar c : t.host)
            if (!nameChar(c))
                return fail(QStringLiteral("'%1' has no valid host name").arg(shown));
    }
    if (portText.isEmpty() || portText.size() > 5)
        return fail(QStringLiteral("'%1' has no port from 1 to 65535").arg(shown));
    int port = 0;
    for (QChar c : portText) {
        if (c < u'0' || c > u'9')
            return fail(QStringLiteral("'%1' has no port from 1 to 65535").arg(shown));
        port = port * 10 + (c.unicode() - u'0');
    }
    if (port < 1 || port > 65535)
        return fail(QStringLiteral("'%1' has no port from 1 to 65535").arg(shown));
    t.port = quint16(port);
    return t;
}

} // namespace inputurl
