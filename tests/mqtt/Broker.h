#pragma once
#include "TempDir.h"

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;

// A real mosquitto on a free loopback port, with its own configuration file
// in a folder of its own (no system service). Stopped and started again on
// the same port, as a broker that goes away mid-race.
class Broker {
public:
    // With `user` set, only that user with `password` may connect. Sessions and
    // their queued messages outlive a restart.
    explicit Broker(const QString& user = {}, const QString& password = {});
    ~Broker();
    bool start();  // false when it does not take connections within 5 s
    void stop();   // SIGTERM, as a broker that is shut down
    // SIGSTOP and SIGCONT: a broker that takes nothing for a while.
    void pause();
    void resume();
    int port() const { return port_; }
    qint64 pid() const { return process_.processId(); }
    QString error() const { return error_; }

private:
    TempWorkDir dir_;
    QProcess process_;
    int port_ = 0;
    QString error_;
};

// A subscriber of the tests' own (libmosquitto), collecting what arrives.
class Subscriber {
public:
    struct Message {
        std::string topic;
        QByteArray payload;
        bool retained;
    };
    // `id` set: a lasting session the broker keeps while the subscriber is away.
    Subscriber(int port, const std::string& filter, const std::string& id = {}, const std::string& user = {},
               const std::string& password = {});
    bool subscribed() const { return subscribed_; }
    ~Subscriber();
    // Waits until `done` holds for the messages so far (at most `ms`).
    template <class F>
    bool waitFor(F done, int ms = 5000);
    std::vector<Message> messages() const;
    // The payloads of one topic, in the order they arrived.
    std::vector<QByteArray> on(const std::string& topic) const;

private:
    static void onMessage(mosquitto*, void*, const struct mosquitto_message*);
    mosquitto* mosq_ = nullptr;
    std::string filter_;
    std::atomic<bool> subscribed_{false};
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
};

bool pollUntilTrue(const std::function<bool()>& f, int ms);

template <class F>
bool Subscriber::waitFor(F done, int ms) {
    return pollUntilTrue([&] { return done(messages()); }, ms);
}
