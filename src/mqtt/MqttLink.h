#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;

// One connection to an MQTT broker, run on a thread of its own: connecting,
// reconnecting with back-off and every socket operation happen there, so
// whoever hands it a message never waits for the network.
//
// Two kinds of messages:
// - the newest value of a retained topic (the board as it is now): only the
//   newest value of each topic is kept, and every topic is sent again after
//   a reconnect, so a subscriber always finds the whole board;
// - messages that must arrive (lines, results): QoS 1, kept in order until
//   the broker has acknowledged them, sent again after a reconnect; while the
//   broker is away at most `maxQueued` are kept, the oldest dropped and counted.
class MqttLink : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString host = QStringLiteral("localhost");
        int port = 1883;
        QString user, password;
        QString clientId;          // empty: the library picks one
        QString willTopic;         // set to willPayload by the broker when the link dies
        QByteArray willPayload;
        QByteArray onlinePayload;  // retained on willTopic at every connect
        int keepAliveSeconds = 10;
        size_t maxQueued = 10000;
        int maxInFlight = 20;
        int firstRetryMs = 250, lastRetryMs = 8000;  // back-off between connect attempts
        // Subscribed at every connect (QoS 0): the broker then sends the
        // retained values again, so a reader has the whole board after each.
        QStringList subscriptions;
        // Called on the link's thread with every message received; a message
        // longer than maxIncoming is dropped unread.
        std::function<void(const QString& topic, const QByteArray& payload)> onMessage;
        qsizetype maxIncoming = 1 << 20;
    };
    enum class State { Connecting, Connected, Down };

    explicit MqttLink(Options options, QObject* parent = nullptr);
    // Says goodbye to the broker, with the will's payload on the will's
    // topic (retained), and ends the thread.
    ~MqttLink() override;

    // Both only queue and wake the link's thread; they never wait.
    void setRetained(const QString& topic, const QByteArray& payload);
    void send(const QString& topic, const QByteArray& payload);

    State state() const { return state_.load(); }
    uint64_t dropped() const { return dropped_.load(); }
    size_t waiting() const;  // must-arrive messages not yet acknowledged
    QString why() const;     // what went wrong last while it is down

signals:
    // From the link's thread; `why` says what went wrong when it is down.
    void stateChanged(MqttLink::State state, const QString& why);

private:
    struct Message {
        std::string topic;
        QByteArray payload;
        int mid = -1;  // the library's id while in flight, else -1 (kSending while being handed over)
        uint64_t seq = 0;
    };
    void run();
    bool connectOnce(QString& why);
    void dropConnection();
    void sendPending();
    void setState(State s, const QString& why);
    void onConnect(int rc);
    void onPublish(int mid);
    static void connectCallback(mosquitto*, void* self, int rc);
    static void publishCallback(mosquitto*, void* self, int mid);
    static void messageCallback(mosquitto*, void* self, const struct mosquitto_message* m);

    const Options options_;
    mosquitto* mosq_ = nullptr;
    int wake_ = -1;  // eventfd: new work or the end

    mutable std::mutex mutex_;
    std::map<std::string, QByteArray> retained_;  // newest value per topic
    std::map<std::string, bool> dirty_;           // topics to send again
    std::deque<Message> reliable_;
    uint64_t seq_ = 0;
    static constexpr int kSending = -2;
    bool stopping_ = false;
    QString why_;

    std::atomic<State> state_{State::Connecting};
    std::atomic<uint64_t> dropped_{0};
    bool session_ = false;  // the broker accepted the connection (link thread only)
    int goodbyeMid_ = -1;   // the goodbye's publish, and whether the broker has it (link thread only)
    bool goodbyeAcked_ = false;
    std::thread thread_;
};
