#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>

// A source of the timing device's bytes: a serial port, a device server on
// the network. Whoever shows the board connects to received(); the status
// line reads state().
class Input : public QObject {
    Q_OBJECT
public:
    enum class Phase {
        Closed,      // not asked to open
        Connecting,  // an attempt is under way
        Connected,   // bytes may arrive
        Waiting,     // failed or lost; tried again by itself (retryInMs)
    };
    struct State {
        Phase phase = Phase::Closed;
        QString where;         // what it reads from, as the operator named it
        QString why;           // what went wrong last (Waiting)
        qint64 retryInMs = -1; // Waiting: time to the next attempt, -1 unknown
    };

    using QObject::QObject;
    // Neither ever waits: opening starts an attempt, closing drops it.
    virtual void open() = 0;
    virtual void close() = 0;
    virtual State state() const = 0;
    // The state in the operator's words, for the status line.
    static QString describe(const State& s);

signals:
    // Bytes in the order they arrived; never emitted from inside itself.
    void received(const QByteArray& bytes);
    void stateChanged();
};
