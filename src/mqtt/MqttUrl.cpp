#include "mqtt/MqttUrl.h"

#include <QUrl>

QString MqttTarget::display() const {
    QString h = host.contains(u':') ? '[' + host + ']' : host;
    return QStringLiteral("mqtt://%1:%2/%3").arg(h).arg(port).arg(prefix);
}

namespace mqtturl {

QString prefixFault(const QString& prefix) {
    if (prefix.isEmpty())
        return QStringLiteral("the topic prefix is empty");
    if (prefix.contains(u'+') || prefix.contains(u'#') || prefix.contains(QChar(0)))
        return QStringLiteral("the topic prefix \"%1\" holds a wildcard (+ or #)").arg(prefix);
    if (prefix.startsWith(u'$'))
        return QStringLiteral("topics beginning with $ belong to the broker");
    if (prefix.startsWith(u'/') || prefix.endsWith(u'/') || prefix.contains(QLatin1String("//")))
        return QStringLiteral("the topic prefix \"%1\" has an empty level").arg(prefix);
    if (prefix.toUtf8().size() > 60000)
        return QStringLiteral("the topic prefix is too long");
    return {};
}

std::optional<MqttTarget> parse(const QString& text, QString* why) {
    auto fail = [why](const QString& w) {
        if (why)
            *why = w;
        return std::nullopt;
    };
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid())
        return fail(QStringLiteral("'%1' is no URL").arg(text));
    if (url.scheme() != QLatin1String("mqtt"))
        return fail(QStringLiteral("'%1' does not begin with mqtt://").arg(text));
    if (url.host().isEmpty())
        return fail(QStringLiteral("'%1' names no broker").arg(text));
    if (url.hasQuery() || url.hasFragment())
        return fail(QStringLiteral("'%1' has a query or fragment").arg(text));
    MqttTarget t;
    t.host = url.host();
    t.port = url.port(1883);
    if (t.port < 1 || t.port > 65535)
        return fail(QStringLiteral("'%1' has no port from 1 to 65535").arg(text));
    t.user = url.userName(QUrl::FullyDecoded);
    t.password = url.password(QUrl::FullyDecoded);
    QString path = url.path(QUrl::FullyDecoded);
    if (path.startsWith(u'/'))
        path.remove(0, 1);
    if (path.endsWith(u'/'))
        path.chop(1);
    if (!path.isEmpty())
        t.prefix = path;
    if (const QString f = prefixFault(t.prefix); !f.isEmpty())
        return fail(f);
    return t;
}

} // namespace mqtturl
