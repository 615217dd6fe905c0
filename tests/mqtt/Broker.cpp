#include "Broker.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <chrono>
#include <mosquitto.h>
#include <signal.h>
#include <thread>

bool pollUntilTrue(const std::function<bool()>& f, int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!f()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

Broker::Broker(const QString& user, const QString& password) {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    port_ = probe.serverPort();
    probe.close();
    // As root it would change to its own user, who may not read this folder.
    QByteArray conf = "listener " + QByteArray::number(port_) + " 127.0.0.1\nuser root\nlog_dest file " +
                      dir_.file("mosquitto.log").toUtf8() + "\npersistence true\npersistence_location " +
                      dir_.path().toUtf8() + "/\n";
    if (user.isEmpty()) {
        conf += "allow_anonymous true\n";
    } else {
        QProcess pw;
        pw.start("mosquitto_passwd", {"-b", "-c", dir_.file("passwd"), user, password});
        pw.waitForFinished(10000);
        conf += "allow_anonymous false\npassword_file " + dir_.file("passwd").toUtf8() + "\n";
    }
    dir_.write("mosquitto.conf", conf);
}

Broker::~Broker() { stop(); }

bool Broker::start() {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start("mosquitto", {"-c", dir_.file("mosquitto.conf")});
    if (!process_.waitForStarted(5000)) {
        error_ = "mosquitto does not start: " + process_.errorString();
        return false;
    }
    const bool up = pollUntilTrue(
        [&] {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, quint16(port_));
            return s.waitForConnected(200);
        },
        5000);
    if (!up)
        error_ = "mosquitto takes no connections on port " + QString::number(port_) + ": " +
                 QString::fromUtf8(dir_.read("mosquitto.log"));
    return up;
}

void Broker::stop() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

void Broker::pause() { ::kill(pid_t(process_.processId()), SIGSTOP); }
void Broker::resume() { ::kill(pid_t(process_.processId()), SIGCONT); }

Subscriber::Subscriber(int port, const std::string& filter, const std::string& id, const std::string& user,
                       const std::string& password) {
    mosquitto_lib_init();
    mosq_ = mosquitto_new(id.empty() ? nullptr : id.c_str(), id.empty(), this);
    mosquitto_message_callback_set(mosq_, &Subscriber::onMessage);
    filter_ = filter;
    mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* self, int rc) {
        if (rc == 0)
            mosquitto_subscribe(m, nullptr, static_cast<Subscriber*>(self)->filter_.c_str(), 1);
    });
    mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
        static_cast<Subscriber*>(self)->subscribed_ = true;
    });
    if (!user.empty())
        mosquitto_username_pw_set(mosq_, user.c_str(), password.c_str());
    mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
    mosquitto_connect_async(mosq_, "127.0.0.1", port, 10);
    mosquitto_loop_start(mosq_);
}

Subscriber::~Subscriber() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, true);
    mosquitto_destroy(mosq_);
}

void Subscriber::onMessage(mosquitto*, void* self, const mosquitto_message* m) {
    auto* s = static_cast<Subscriber*>(self);
    std::lock_guard lock(s->mutex_);
    s->messages_.push_back({m->topic, QByteArray(static_cast<const char*>(m->payload), m->payloadlen), m->retain});
}

std::vector<Subscriber::Message> Subscriber::messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<QByteArray> Subscriber::on(const std::string& topic) const {
    std::vector<QByteArray> out;
    for (const Message& m : messages())
        if (m.topic == topic)
            out.push_back(m.payload);
    return out;
}
