#pragma once
#include "follow/FollowUrl.h"
#include "follow/FollowedState.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <array>
#include <memory>
#include <mutex>
#include <optional>

class FollowedBoard;
class MqttLink;
class QNetworkAccessManager;
class QTimer;
class QWebSocket;

// Keeps a board showing what another program's board shows: its texts,
// visibility and (from a web board) pictures. Connects, and after a loss
// reconnects with back-off, by itself; the board keeps the last state
// meanwhile and gets the whole state again at once after a reconnect.
//
// mqtt://: the retained `state` and `status` topics under the prefix, on the
// MQTT link's thread; only the newest state waits for the board's thread.
// Pictures do not travel there: the board keeps its own and takes their
// visibility. http://: the web board's /live WebSocket (the whole state, then
// changes) and its picture routes, on the board's thread without waiting.
class Follower : public QObject {
    Q_OBJECT
public:
    static constexpr int kFirstRetryMs = 250, kLastRetryMs = 8000;
    static constexpr int kConnectTimeoutMs = 5000;
    static constexpr int kPingMs = 5000;           // a silent connection is asked whether it lives
    static constexpr qint64 kMaxPicture = 16 << 20;  // bytes of one picture from the web board

    Follower(const FollowSource& source, FollowedBoard& board, QObject* parent = nullptr);
    ~Follower() override;

    // Sets the board again from the state held: after something of the
    // board's own (a settings load, a hotkey) changed what it shows.
    void reapply();
    const FollowSource& source() const { return source_; }
    QString status() const { return status_; }
    const follow::FollowedState& state() const { return state_; }

private:
    void take(const QByteArray& message);
    void apply();
    void show(const QString& connection);
    void showStatus();
    // mqtt
    void startMqtt();
    void takeInbox();
    // http
    void startWeb();
    void openWeb();
    void webLost(const QString& why);
    void fetchPicture(int number, const QString& src);

    const FollowSource source_;
    FollowedBoard& board_;
    follow::FollowedState state_;
    QString connection_;       // connecting, connected, not connected (...)
    bool primaryOffline_ = false;
    QString status_;

    std::unique_ptr<MqttLink> link_;
    std::mutex inboxMutex_;     // the link's thread hands over here
    std::optional<QByteArray> inboxState_, inboxStatus_;
    bool posted_ = false;

    QWebSocket* socket_ = nullptr;
    QTimer* retry_ = nullptr;
    QTimer* ping_ = nullptr;
    QTimer* connectTimeout_ = nullptr;
    QElapsedTimer sincePong_;
    int retryMs_ = kFirstRetryMs;
    QNetworkAccessManager* net_ = nullptr;
    std::array<std::optional<QString>, 3> pictureSrc_;  // what each picture shows or is being fetched
};
