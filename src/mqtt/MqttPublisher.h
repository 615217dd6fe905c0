#pragma once
#include "display/BoardState.h"
#include "display/RaceEvents.h"
#include "mqtt/MqttUrl.h"

#include <QByteArray>
#include <QThread>
#include <memory>
#include <mutex>
#include <vector>

class MqttLink;
class QTimer;

// Publishes the board and the race on an MQTT broker, under the target's prefix:
//   state                 the whole board as the web board's /state JSON, retained,
//                         at most 60 times a second
//   time rank number preset text/1..3 board/1..4
//                         the plain text as shown, retained, when it changes
//   line                  every received line as the journal writes it, QoS 1
//   result                every result recorded in the time table as JSON, QoS 1
//   status                "online", and "offline" as the last will
// The board's thread only hands things over (a swap or an append under a
// lock, and a wake-up when none is due); encoding happens on a thread of
// the publisher's own, and the network on the link's.
class MqttPublisher : public board::Observer, public race::Listener {
public:
    static constexpr qint64 kMinStateIntervalNs = 1000000000 / 60;

    explicit MqttPublisher(const MqttTarget& target);
    // What was handed over is passed on, then the link says goodbye ("offline").
    ~MqttPublisher() override;

    const MqttTarget& target() const { return target_; }
    MqttLink& link() { return *link_; }

    void boardChanged(const board::Snapshot& state) override;
    void lineReceived(const QByteArray& line, qint64 at) override;
    void resultRecorded(const race::Result& result) override;

    // The payloads, for whoever needs the same form.
    static QByteArray linePayload(const QByteArray& line, qint64 at);
    static QByteArray resultPayload(const race::Result& result);

private:
    class Encoder;
    void wake();           // any thread
    void takeInbox();      // publisher's thread

    const MqttTarget target_;
    std::unique_ptr<MqttLink> link_;
    std::unique_ptr<Encoder> encoder_;
    QThread thread_;
    QObject* context_ = nullptr;  // lives on thread_

    std::mutex mutex_;
    board::Snapshot board_;  // newest board not yet taken
    std::vector<std::pair<QByteArray, qint64>> lines_;
    std::vector<race::Result> results_;
    bool posted_ = false;    // a takeInbox() is on its way
};
