#pragma once
#include "display/BoardState.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <vector>

class FontFiles;

// The board as JSON: the whole state ("state") and what changed since a
// revision ("change"). Every element and summary field carries the revision
// it last changed in, so a client that skipped states gets all it missed.
class BoardJson {
public:
    explicit BoardJson(FontFiles& fonts) : fonts_(fonts) {}

    // Takes the new state; false when nothing the page shows changed.
    bool update(const board::Snapshot& state);
    const board::Snapshot& state() const { return state_; }
    quint64 revision() const { return revision_; }

    QByteArray full();
    // Everything changed after `since` (a revision this object handed out).
    QByteArray changes(quint64 since);

    // The summary fields for overlay makers, from a state.
    struct Summary {
        QString time, rank, number, preset;
        std::array<QString, 3> texts;
        std::array<QString, 4> boards;
        bool operator==(const Summary&) const = default;
    };
    static Summary summarise(const board::State& s);  // from the elements as drawn
    static Summary summarise(const BoardValues& v);   // from the board core's values

private:
    QJsonObject element(const board::Element& e);
    const QJsonObject& encoded(size_t i);
    QJsonObject boardObject() const;
    void putSummary(QJsonObject& o, quint64 since) const;

    FontFiles& fonts_;
    board::Snapshot state_;
    Summary summary_;
    quint64 revision_ = 0;
    quint64 boardRevision_ = 0;
    std::array<quint64, 11> summaryRevision_{};  // time rank number preset texts boards
    std::vector<quint64> elementRevision_;
    std::vector<QJsonObject> elementJson_;  // encoded once per change
    QHash<quint64, QByteArray> changeCache_;  // by `since`, for the current revision
    QByteArray fullCache_;
    quint64 fullCacheRevision_ = ~0ull;
};
