#include "web/BoardJson.h"

#include "common/Colour.h"
#include "web/FontFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>

namespace {

QJsonValue css(int32_t c) {
    if (const auto q = colour::toQColor(c))
        return q->name(QColor::HexRgb);
    return QJsonValue::Null;
}

const char* const kAlign[] = {"left", "center", "right"};

} // namespace

BoardJson::Summary BoardJson::summarise(const BoardValues& v) {
    Summary m;
    // What is shown: a hidden element gives an empty field.
    for (const BoardValues::Shown& p : v.time)
        if (p.visible)
            m.time += p.text;
    auto field = [](const BoardValues::Shown& s) { return s.visible ? s.text : QString(); };
    m.rank = field(v.rank);
    m.number = field(v.number);
    m.preset = field(v.preset);
    for (size_t i = 0; i < 3; ++i)
        m.texts[i] = field(v.texts[i]);
    for (size_t i = 0; i < 4; ++i)
        m.boards[i] = field(v.boards[i]);
    return m;
}

BoardJson::Summary BoardJson::summarise(const board::State& s) {
    Summary m;
    for (const board::Element& e : s.elements) {
        if (!e.visible)
            continue;  // what is shown
        const QString& g = e.group;
        if (g == QLatin1String("time"))
            m.time += e.text;
        else if (g == QLatin1String("rank"))
            m.rank = e.text;
        else if (g == QLatin1String("number"))
            m.number = e.text;
        else if (g == QLatin1String("preset"))
            m.preset = e.text;
        else if (g.size() == 5 && g.startsWith(QLatin1String("text")) && e.name.endsWith(QLatin1String("_V")))
            m.texts[size_t(std::clamp(g[4].unicode() - '1', 0, 2))] = e.text;
        else if (g.size() == 6 && g.startsWith(QLatin1String("board")))
            m.boards[size_t(std::clamp(g[5].unicode() - '1', 0, 3))] = e.text;
    }
    return m;
}

bool BoardJson::update(const board::Snapshot& s) {
    if (!s || (state_ && state_->sameAs(*s)))
        return false;
    const quint64 next = revision_ + 1;
    const bool fresh = !state_ || state_->elements.size() != s->elements.size();
    if (fresh) {
        elementRevision_.assign(s->elements.size(), next);
        elementJson_.assign(s->elements.size(), QJsonObject());
        boardRevision_ = next;
        summaryRevision_.fill(next);
        state_ = s;
    } else {
        const board::Snapshot old = state_;
        state_ = s;
        for (size_t i = 0; i < s->elements.size(); ++i)
            if (!(old->elements[i] == s->elements[i])) {
                elementRevision_[i] = next;
                elementJson_[i] = QJsonObject();  // encoded when first asked for
            }
        if (old->width != s->width || old->height != s->height || old->displayColour != s->displayColour)
            boardRevision_ = next;
    }
    // The plain fields from the board core's values, where the board has a core.
    const Summary m = s->values ? summarise(*s->values) : summarise(*s);
    const QString* before[] = {&summary_.time, &summary_.rank, &summary_.number, &summary_.preset,
                               &summary_.texts[0], &summary_.texts[1], &summary_.texts[2],
                               &summary_.boards[0], &summary_.boards[1], &summary_.boards[2], &summary_.boards[3]};
    const QString* after[] = {&m.time, &m.rank, &m.number, &m.preset, &m.texts[0], &m.texts[1], &m.texts[2],
                              &m.boards[0], &m.boards[1], &m.boards[2], &m.boards[3]};
    for (size_t i = 0; i < summaryRevision_.size(); ++i)
        if (fresh || *before[i] != *after[i])
            summaryRevision_[i] = next;
    summary_ = m;
    revision_ = next;
    changeCache_.clear();
    return true;
}

QJsonObject BoardJson::element(const board::Element& e) {
    QJsonObject o{{"name", e.name}, {"group", e.group}, {"visible", e.visible}, {"x", e.x}, {"y", e.y},
                  {"width", e.width}, {"height", e.height}};
    if (e.picture) {
        o["kind"] = "picture";
        const QImage& img = state_->pictures[size_t(e.picture - 1)];
        o["src"] = img.isNull() ? QJsonValue(QJsonValue::Null)
                                : QJsonValue(QStringLiteral("/picture/%1?v=%2").arg(e.picture).arg(e.pictureSerial));
        return o;
    }
    o["kind"] = "text";
    o["text"] = e.text;
    const int file = fonts_.indexOf(e.fontFace, e.fontWeight, e.italic);
    o["font"] = QJsonObject{{"family", e.fontFamily},
                            {"face", e.fontFace},
                            {"pixelSize", e.fontPixels},
                            {"weight", e.fontWeight},
                            {"italic", e.italic},
                            {"underline", e.underline},
                            {"strikeOut", e.strikeOut},
                            {"file", file < 0 ? QJsonValue(QJsonValue::Null)
                                              : QJsonValue(QStringLiteral("/font/%1").arg(file))}};
    o["colour"] = css(e.fontColour);
    o["background"] = e.transparent ? QJsonValue(QJsonValue::Null) : css(e.colour);
    o["align"] = kAlign[e.alignment >= 0 && e.alignment <= 2 ? e.alignment : 0];
    return o;
}

const QJsonObject& BoardJson::encoded(size_t i) {
    if (elementJson_[i].isEmpty())
        elementJson_[i] = element(state_->elements[i]);
    return elementJson_[i];
}

QJsonObject BoardJson::boardObject() const {
    return {{"width", state_->width}, {"height", state_->height}, {"colour", css(state_->displayColour)}};
}

void BoardJson::putSummary(QJsonObject& o, quint64 since) const {
    auto put = [&](size_t i, const char* key, const QString& v) {
        if (summaryRevision_[i] > since)
            o[key] = v;
    };
    put(0, "time", summary_.time);
    put(1, "rank", summary_.rank);
    put(2, "number", summary_.number);
    put(3, "preset", summary_.preset);
    bool texts = false, boards = false;
    for (size_t i = 4; i < 7; ++i)
        texts |= summaryRevision_[i] > since;
    for (size_t i = 7; i < 11; ++i)
        boards |= summaryRevision_[i] > since;
    if (texts)
        o["texts"] = QJsonArray{summary_.texts[0], summary_.texts[1], summary_.texts[2]};
    if (boards)
        o["boards"] = QJsonArray{summary_.boards[0], summary_.boards[1], summary_.boards[2], summary_.boards[3]};
}

QByteArray BoardJson::full() {
    if (!state_)
        return {};
    if (fullCacheRevision_ == revision_)
        return fullCache_;
    QJsonObject o{{"type", "state"}, {"revision", double(revision_)}, {"board", boardObject()}};
    putSummary(o, 0);
    QJsonArray elements;
    for (size_t i = 0; i < elementJson_.size(); ++i)
        elements.append(encoded(i));
    o["elements"] = elements;
    fullCache_ = QJsonDocument(o).toJson(QJsonDocument::Compact);
    fullCacheRevision_ = revision_;
    return fullCache_;
}

QByteArray BoardJson::changes(quint64 since) {
    if (!state_ || since == 0)
        return full();
    // Clients that are up to date share one encoding.
    if (const auto it = changeCache_.constFind(since); it != changeCache_.cend())
        return *it;
    QJsonObject o{{"type", "change"}, {"revision", double(revision_)}};
    if (boardRevision_ > since)
        o["board"] = boardObject();
    putSummary(o, since);
    QJsonArray elements;
    for (size_t i = 0; i < elementJson_.size(); ++i)
        if (elementRevision_[i] > since)
            elements.append(encoded(i));
    o["elements"] = elements;
    const QByteArray out = QJsonDocument(o).toJson(QJsonDocument::Compact);
    if (changeCache_.size() > 64)
        changeCache_.clear();
    changeCache_.insert(since, out);
    return out;
}
