#include "mqtt/MqttLink.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

// The library's global set-up, once for the process.
void initLibrary() {
    static const bool done = [] {
        mosquitto_lib_init();
        return true;
    }();
    (void)done;
}

QString reason(int rc) { return QString::fromUtf8(mosquitto_strerror(rc)); }
} // namespace

MqttLink::MqttLink(Options options, QObject* parent) : QObject(parent), options_(std::move(options)) {
    initLibrary();
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { run(); });
}

MqttLink::~MqttLink() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    const uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
    thread_.join();
    ::close(wake_);
}

void MqttLink::setRetained(const QString& topic, const QByteArray& payload) {
    const std::string t = topic.toStdString();
    {
        std::lock_guard lock(mutex_);
        auto it = retained_.find(t);
        if (it != retained_.end() && it->second == payload)
            return;  // nothing new to say
        retained_[t] = payload;
        dirty_[t] = true;
    }
    const uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
}

void MqttLink::send(const QString& topic, const QByteArray& payload) {
    {
        std::lock_guard lock(mutex_);
        reliable_.push_back({topic.toStdString(), payload, -1, ++seq_});
        while (reliable_.size() > options_.maxQueued) {
            reliable_.pop_front();
            ++dropped_;
        }
    }
    const uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
}

size_t MqttLink::waiting() const {
    std::lock_guard lock(mutex_);
    return reliable_.size();
}

QString MqttLink::why() const {
    std::lock_guard lock(mutex_);
    return why_;
}

void MqttLink::setState(State s, const QString& why) {
    {
        std::lock_guard lock(mutex_);
        why_ = why;
    }
    if (state_.exchange(s) == s && s == State::Connected)
        return;
    emit stateChanged(s, why);
}

void MqttLink::connectCallback(mosquitto*, void* self, int rc) { static_cast<MqttLink*>(self)->onConnect(rc); }
void MqttLink::publishCallback(mosquitto*, void* self, int mid) { static_cast<MqttLink*>(self)->onPublish(mid); }
void MqttLink::messageCallback(mosquitto*, void* self, const mosquitto_message* m) {
    const Options& o = static_cast<MqttLink*>(self)->options_;
    if (!o.onMessage || !m->topic || m->payloadlen < 0 || m->payloadlen > o.maxIncoming)
        return;
    o.onMessage(QString::fromUtf8(m->topic), QByteArray(static_cast<const char*>(m->payload), m->payloadlen));
}

bool MqttLink::connectOnce(QString& why) {
    // A fresh client for every attempt: nothing the library kept from the
    // last connection is sent twice; what must arrive is kept here.
    if (mosq_)
        mosquitto_destroy(mosq_);
    const QByteArray id = options_.clientId.toUtf8();
    mosq_ = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, this);
    if (!mosq_) {
        why = QStringLiteral("out of memory");
        return false;
    }
    // Each change goes out at once: with Nagle's algorithm a small message
    // waits for the broker's delayed acknowledgement of the one before.
    mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(mosq_, &MqttLink::connectCallback);
    mosquitto_publish_callback_set(mosq_, &MqttLink::publishCallback);
    mosquitto_message_callback_set(mosq_, &MqttLink::messageCallback);
    if (!options_.user.isEmpty())
        mosquitto_username_pw_set(mosq_, options_.user.toUtf8().constData(),
                                  options_.password.isEmpty() ? nullptr : options_.password.toUtf8().constData());
    if (!options_.willTopic.isEmpty())
        mosquitto_will_set(mosq_, options_.willTopic.toUtf8().constData(), int(options_.willPayload.size()),
                           options_.willPayload.constData(), 1, true);
    const int rc = mosquitto_connect_async(mosq_, options_.host.toUtf8().constData(), options_.port,
                                           options_.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        why = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(strerror(errno)) : reason(rc);
        return false;
    }
    return true;
}

void MqttLink::dropConnection() {
    session_ = false;
    if (mosq_) {
        mosquitto_destroy(mosq_);
        mosq_ = nullptr;
    }
    std::lock_guard lock(mutex_);
    for (Message& m : reliable_)
        m.mid = -1;
}

void MqttLink::onConnect(int rc) {
    if (rc != 0) {
        // Refused (wrong password, not allowed): told, tried again later.
        setState(State::Down, QString::fromUtf8(mosquitto_connack_string(rc)));
        return;
    }
    session_ = true;
    if (!options_.willTopic.isEmpty())
        mosquitto_publish(mosq_, nullptr, options_.willTopic.toUtf8().constData(), int(options_.onlinePayload.size()),
                          options_.onlinePayload.constData(), 1, true);
    for (const QString& filter : options_.subscriptions)
        mosquitto_subscribe(mosq_, nullptr, filter.toUtf8().constData(), 0);
    {
        std::lock_guard lock(mutex_);
        for (const auto& [topic, payload] : retained_)
            dirty_[topic] = true;
    }
    setState(State::Connected, {});
}

void MqttLink::onPublish(int mid) {
    if (mid == goodbyeMid_)
        goodbyeAcked_ = true;
    std::lock_guard lock(mutex_);
    auto it = std::find_if(reliable_.begin(), reliable_.end(), [mid](const Message& m) { return m.mid == mid; });
    if (it != reliable_.end())
        reliable_.erase(it);
}

void MqttLink::sendPending() {
    // Taken under the lock, sent without it: the library may report a send
    // from inside the call.
    std::vector<std::pair<std::string, QByteArray>> values;
    std::vector<Message> next;
    // While the socket takes nothing more (a stalled or overloaded broker),
    // the board's values wait here as the newest of each topic: queued in
    // the library they would pile up, every change behind the one before.
    const bool backedUp = mosquitto_want_write(mosq_);
    {
        std::lock_guard lock(mutex_);
        for (auto& [topic, dirty] : dirty_)
            if (dirty && !backedUp) {
                values.emplace_back(topic, retained_[topic]);
                dirty = false;
            }
        int inFlight = 0;
        for (Message& m : reliable_) {
            if (inFlight++ >= options_.maxInFlight)
                break;
            if (m.mid == -1) {
                m.mid = kSending;
                next.push_back(m);
            }
        }
    }
    bool failed = false;
    for (const auto& [topic, p] : values)
        if (failed || mosquitto_publish(mosq_, nullptr, topic.c_str(), int(p.size()), p.constData(), 0, true) !=
                          MOSQ_ERR_SUCCESS) {
            failed = true;  // the connection is going: all is sent again after the reconnect
            std::lock_guard lock(mutex_);
            dirty_[topic] = true;
        }
    for (const Message& m : next) {
        int mid = -1;
        if (!failed)
            failed = mosquitto_publish(mosq_, &mid, m.topic.c_str(), int(m.payload.size()), m.payload.constData(), 1,
                                       false) != MOSQ_ERR_SUCCESS;
        std::lock_guard lock(mutex_);
        auto it = std::find_if(reliable_.begin(), reliable_.end(), [&](const Message& r) { return r.seq == m.seq; });
        if (it != reliable_.end())
            it->mid = failed ? -1 : mid;
    }
}

void MqttLink::run() {
    int retryMs = options_.firstRetryMs;
    Clock::time_point nextAttempt = Clock::now(), connectStarted{};
    bool attempting = false;
    setState(State::Connecting, {});
    for (;;) {
        bool stop;
        {
            std::lock_guard lock(mutex_);
            stop = stopping_;
        }
        if (stop)
            break;
        const auto now = Clock::now();
        if (!attempting && !session_ && now >= nextAttempt) {
            QString why;
            if (connectOnce(why)) {
                attempting = true;
                connectStarted = now;
            } else {
                dropConnection();
                setState(State::Down, why);
                nextAttempt = now + std::chrono::milliseconds(retryMs);
                retryMs = std::min(retryMs * 2, options_.lastRetryMs);
            }
        }
        if (attempting && !session_ && now - connectStarted > std::chrono::seconds(5)) {
            dropConnection();  // no answer from the broker
            attempting = false;
            setState(State::Down, QStringLiteral("no answer"));
            nextAttempt = now + std::chrono::milliseconds(retryMs);
            retryMs = std::min(retryMs * 2, options_.lastRetryMs);
        }
        if (session_)
            sendPending();

        pollfd fds[2] = {{wake_, POLLIN, 0}, {-1, 0, 0}};
        const int sock = mosq_ && attempting ? mosquitto_socket(mosq_) : -1;
        if (sock >= 0)
            fds[1] = {sock, short(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0)), 0};
        int timeout = 1000;
        if (!attempting)
            timeout = int(std::clamp<long long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(nextAttempt - Clock::now()).count(), 0, 1000));
        ::poll(fds, sock >= 0 ? 2 : 1, timeout);
        if (fds[0].revents & POLLIN) {
            uint64_t n;
            (void)!::read(wake_, &n, sizeof n);
        }
        if (sock < 0)
            continue;
        int rc = MOSQ_ERR_SUCCESS;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR))
            rc = mosquitto_loop_read(mosq_, 1);
        if (rc == MOSQ_ERR_SUCCESS && mosq_ && (fds[1].revents & POLLOUT))
            rc = mosquitto_loop_write(mosq_, 1);
        if (rc == MOSQ_ERR_SUCCESS && mosq_)
            rc = mosquitto_loop_misc(mosq_);
        if (rc == MOSQ_ERR_SUCCESS && session_)
            retryMs = options_.firstRetryMs;
        if (rc != MOSQ_ERR_SUCCESS) {
            const bool was = session_;
            dropConnection();
            attempting = false;
            if (state_.load() != State::Down || was)
                setState(State::Down, rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(strerror(errno)) : reason(rc));
            nextAttempt = Clock::now() + std::chrono::milliseconds(retryMs);
            retryMs = std::min(retryMs * 2, options_.lastRetryMs);
        }
    }
    if (mosq_ && session_) {
        // A short grace for what must arrive, then a clean goodbye. The broker
        // sends no will after one, so the will's payload is said here: a
        // program that ends is as gone as one that died.
        const auto until = Clock::now() + std::chrono::milliseconds(500);
        while (waiting() > 0 && Clock::now() < until) {
            sendPending();
            if (mosquitto_loop(mosq_, 20, 1) != MOSQ_ERR_SUCCESS)
                break;
        }
        if (!options_.willTopic.isEmpty()) {
            sendPending();  // the newest board first
            if (mosquitto_publish(mosq_, &goodbyeMid_, options_.willTopic.toUtf8().constData(),
                                  int(options_.willPayload.size()), options_.willPayload.constData(), 1,
                                  true) == MOSQ_ERR_SUCCESS)
                while (!goodbyeAcked_ && Clock::now() < until + std::chrono::milliseconds(500))
                    if (mosquitto_loop(mosq_, 20, 1) != MOSQ_ERR_SUCCESS)
                        break;
        }
        mosquitto_disconnect(mosq_);
        mosquitto_loop_write(mosq_, 1);
    }
    if (mosq_)
        mosquitto_destroy(mosq_);
    mosq_ = nullptr;
}
