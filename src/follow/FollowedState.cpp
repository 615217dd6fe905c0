#include "follow/FollowedState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <optional>

namespace follow {
namespace {

bool plainName(const QString& n) {
    if (n.isEmpty() || n.size() > FollowedState::kMaxName)
        return false;
    for (const QChar c : n)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'_')
            return false;
    return true;
}

// One element of a message, or nothing when it is not well formed.
std::optional<Element> element(const QJsonValue& v) {
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    Element e;
    e.name = o.value(QLatin1String("name")).toString();
    if (!plainName(e.name) || !o.value(QLatin1String("visible")).isBool())
        return std::nullopt;
    e.visible = o.value(QLatin1String("visible")).toBool();
    const QString kind = o.value(QLatin1String("kind")).toString();
    if (kind == QLatin1String("picture")) {
        static const QRegularExpression logo(QStringLiteral("^Logo([1-3])$"));
        static const QRegularExpression src(QStringLiteral("^/picture/([1-3])(\\?v=[0-9]{1,20})?$"));
        const auto m = logo.match(e.name);
        if (!m.hasMatch())
            return std::nullopt;
        e.picture = m.captured(1).toInt();
        const QJsonValue s = o.value(QLatin1String("src"));
        if (s.isString()) {
            const auto p = src.match(s.toString());
            // Only the picture's own route: the primary names no other address.
            if (!p.hasMatch() || p.captured(1).toInt() != e.picture)
                return std::nullopt;
            e.src = s.toString();
        } else if (!s.isNull() && !s.isUndefined()) {
            return std::nullopt;
        }
        return e;
    }
    if (kind != QLatin1String("text") || !o.value(QLatin1String("text")).isString())
        return std::nullopt;
    e.text = o.value(QLatin1String("text")).toString().left(FollowedState::kMaxText);
    return e;
}

} // namespace

bool FollowedState::take(const QByteArray& message) {
    if (message.size() > kMaxMessage)
        return false;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(message, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    const QJsonObject o = doc.object();
    const QString type = o.value(QLatin1String("type")).toString();
    const bool whole = type == QLatin1String("state");
    if (!whole && (type != QLatin1String("change") || !whole_))
        return false;
    const QJsonValue list = o.value(QLatin1String("elements"));
    if (!list.isArray() || list.toArray().size() > kMaxElements)
        return false;

    // Decoded whole before anything is taken: a message counts entirely or not at all.
    std::vector<Element> got;
    for (const QJsonValue& v : list.toArray()) {
        auto e = element(v);
        if (!e)
            return false;
        got.push_back(std::move(*e));
    }
    std::vector<Element> next = whole ? std::vector<Element>() : elements_;
    for (Element& e : got) {
        auto it = std::find_if(next.begin(), next.end(), [&](const Element& x) { return x.name == e.name; });
        if (it != next.end())
            *it = std::move(e);
        else if (int(next.size()) < kMaxElements)
            next.push_back(std::move(e));
    }
    elements_ = std::move(next);
    whole_ = true;
    return true;
}

} // namespace follow
