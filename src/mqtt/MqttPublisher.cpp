#include "mqtt/MqttPublisher.h"

#include "mqtt/MqttLink.h"
#include "protocol/Journal.h"
#include "web/BoardJson.h"
#include "web/FontFiles.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>

namespace {

MqttLink::Options linkOptions(const MqttTarget& t) {
    MqttLink::Options o;
    o.host = t.host;
    o.port = t.port;
    o.user = t.user;
    o.password = t.password;
    o.willTopic = t.prefix + QStringLiteral("/status");
    o.willPayload = "offline";
    o.onlinePayload = "online";
    return o;
}

// The date and time as the journal writes them (local, with the offset from UTC).
QByteArray when(qint64 at) {
    QByteArray stamp = journal::encodeLocal({}, at);
    return stamp.left(stamp.indexOf('\t'));
}

} // namespace

// The publisher's thread: turns what was handed over into payloads.
class MqttPublisher::Encoder {
public:
    explicit Encoder(MqttPublisher& p) : p_(p) { clock_.start(); }

    void board(const board::Snapshot& s) {
        // The plain topics from the board core's values, where the board has a core.
        const BoardJson::Summary m = s->values ? BoardJson::summarise(*s->values) : BoardJson::summarise(*s);
        // The link sends a retained topic only when its value changes.
        const QString* values[] = {&m.time, &m.rank, &m.number, &m.preset, &m.texts[0], &m.texts[1], &m.texts[2],
                                   &m.boards[0], &m.boards[1], &m.boards[2], &m.boards[3]};
        static const char* const kTopics[] = {"time", "rank", "number", "preset", "text/1", "text/2", "text/3",
                                              "board/1", "board/2", "board/3", "board/4"};
        for (size_t i = 0; i < std::size(kTopics); ++i)
            p_.link_->setRetained(topic(kTopics[i]), values[i]->toUtf8());
        waiting_ = s;
        flushState();
    }

    // The whole board at most 60 times a second: the newest waits for its turn.
    void flushState() {
        if (!waiting_)
            return;
        const qint64 now = clock_.nsecsElapsed();
        const qint64 due = lastStateNs_ + kMinStateIntervalNs;
        if (now < due && !ending_) {
            if (!timer_) {
                timer_ = new QTimer(p_.context_);
                timer_->setSingleShot(true);
                timer_->setTimerType(Qt::PreciseTimer);
                QObject::connect(timer_, &QTimer::timeout, p_.context_, [this] { flushState(); });
            }
            if (!timer_->isActive())
                timer_->start(int((due - now + 999999) / 1000000));
            return;
        }
        if (json_.update(waiting_))
            p_.link_->setRetained(topic("state"), json_.full());
        waiting_.reset();
        lastStateNs_ = now;
    }

    // At the end: the timer goes with the thread, and from then on the
    // ending thread sends what waits at once.
    void stopTimer() {
        delete timer_;
        timer_ = nullptr;
    }
    void end() {
        ending_ = true;
        flushState();
    }

    QString topic(const char* name) const { return p_.target_.prefix + '/' + QLatin1String(name); }

private:
    MqttPublisher& p_;
    FontFiles fonts_;
    BoardJson json_{fonts_};
    board::Snapshot waiting_;
    QElapsedTimer clock_;
    qint64 lastStateNs_ = -kMinStateIntervalNs;
    QTimer* timer_ = nullptr;  // lives on the publisher's thread
    bool ending_ = false;
};

MqttPublisher::MqttPublisher(const MqttTarget& target)
    : target_(target), link_(std::make_unique<MqttLink>(linkOptions(target))),
      encoder_(std::make_unique<Encoder>(*this)) {
    thread_.setObjectName(QStringLiteral("mqtt publisher"));
    thread_.start();
    context_ = new QObject;
    context_->moveToThread(&thread_);
}

MqttPublisher::~MqttPublisher() {
    QMetaObject::invokeMethod(
        context_, [this] {
            encoder_->stopTimer();
            delete context_;
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    context_ = nullptr;
    encoder_->end();
    takeInbox();
    encoder_.reset();
    link_.reset();  // a short grace for what must arrive, then "offline"
}

QByteArray MqttPublisher::linePayload(const QByteArray& line, qint64 at) {
    QByteArray text = journal::encodeLocal(line, at);
    text.chop(1);  // the journal's LF: one message is one line
    return text;
}

QByteArray MqttPublisher::resultPayload(const race::Result& r) {
    const QJsonObject o{{"number", r.number},
                        {"name", r.name},
                        {"channel", QString(QLatin1Char(r.channel))},
                        {"time", r.time},
                        {"rank", r.rank},
                        {"when", QString::fromLatin1(when(r.at))}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

void MqttPublisher::boardChanged(const board::Snapshot& state) {
    {
        std::lock_guard lock(mutex_);
        board_ = state;
        if (posted_)
            return;
        posted_ = true;
    }
    wake();
}

void MqttPublisher::lineReceived(const QByteArray& line, qint64 at) {
    {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line, at);
        if (posted_)
            return;
        posted_ = true;
    }
    wake();
}

void MqttPublisher::resultRecorded(const race::Result& result) {
    {
        std::lock_guard lock(mutex_);
        results_.push_back(result);
        if (posted_)
            return;
        posted_ = true;
    }
    wake();
}

void MqttPublisher::wake() {
    if (context_)
        QMetaObject::invokeMethod(context_, [this] { takeInbox(); }, Qt::QueuedConnection);
}

void MqttPublisher::takeInbox() {
    board::Snapshot s;
    std::vector<std::pair<QByteArray, qint64>> lines;
    std::vector<race::Result> results;
    {
        std::lock_guard lock(mutex_);
        s.swap(board_);
        lines.swap(lines_);
        results.swap(results_);
        posted_ = false;
    }
    for (const auto& [line, at] : lines)
        link_->send(encoder_->topic("line"), linePayload(line, at));
    for (const race::Result& r : results)
        link_->send(encoder_->topic("result"), resultPayload(r));
    if (s)
        encoder_->board(s);
}
