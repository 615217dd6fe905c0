#include "follow/FollowUrl.h"

QString FollowSource::display() const {
    if (kind == Kind::Mqtt)
        return mqtt.display();
    return web.toString(QUrl::RemoveUserInfo);
}

QUrl FollowSource::live() const {
    QUrl u = web;
    u.setScheme(QStringLiteral("ws"));
    u.setPath(QStringLiteral("/live"));
    return u;
}

QUrl FollowSource::picture(const QString& path) const {
    QUrl u = web;
    const qsizetype q = path.indexOf(u'?');
    u.setPath(q < 0 ? path : path.left(q));
    if (q >= 0)
        u.setQuery(path.mid(q + 1));
    return u;
}

namespace followurl {

std::optional<FollowSource> parse(const QString& text, QString* why) {
    auto fail = [why](const QString& w) {
        if (why)
            *why = w;
        return std::nullopt;
    };
    const QString t = text.trimmed();
    FollowSource s;
    if (t.startsWith(QLatin1String("mqtt://"), Qt::CaseInsensitive)) {
        const auto m = mqtturl::parse(t, why);
        if (!m)
            return std::nullopt;
        s.kind = FollowSource::Kind::Mqtt;
        s.mqtt = *m;
        return s;
    }
    const QUrl url(t, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("http"))
        return fail(QStringLiteral("'%1' is neither mqtt://broker/prefix nor http://host:port/").arg(text));
    if (url.host().isEmpty())
        return fail(QStringLiteral("'%1' names no host").arg(text));
    if (url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty())
        return fail(QStringLiteral("'%1' has more than a host and a port").arg(text));
    if (!url.path().isEmpty() && url.path() != QLatin1String("/"))
        return fail(QStringLiteral("'%1' has a path: the board is the web board's own, at /").arg(text));
    const int port = url.port(80);
    if (port < 1 || port > 65535)
        return fail(QStringLiteral("'%1' has no port from 1 to 65535").arg(text));
    s.kind = FollowSource::Kind::Http;
    s.web.setScheme(QStringLiteral("http"));
    s.web.setHost(url.host());
    s.web.setPort(port);
    s.web.setPath(QStringLiteral("/"));
    return s;
}

} // namespace followurl
