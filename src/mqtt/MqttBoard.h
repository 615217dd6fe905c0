#pragma once
#include "mqtt/MqttUrl.h"

#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>

class BoardModel;
class MqttPublisher;
class QTimer;
class BoardHost;

// The board on an MQTT broker as the settings (MqttHost, MqttPort,
// MqttTopic, MqttUser, MqttPassword) or the command line (--mqtt URL) say:
// a publisher fed by the board and the line, its state on the status line,
// one notice while the broker cannot be reached.
class MqttBoard : public QObject {
    Q_OBJECT
public:
    // Off (no host) or refused (a prefix topics cannot have): nullptr; the
    // board runs on. Made on the board's thread, after the settings are read.
    static std::unique_ptr<MqttBoard> start(BoardHost& host, const std::optional<MqttTarget>& fromCommandLine);
    ~MqttBoard() override;

    MqttPublisher& publisher() { return *publisher_; }

private:
    MqttBoard(BoardHost& host, QObject* window, const MqttTarget& target);
    void show(int state, const QString& why);
    void showKept();
    QString where() const;  // the broker, for the status line  // while it is down: what waits for the broker, what was dropped

    QTimer* keptTimer_ = nullptr;

    BoardHost* host_;
    QPointer<QObject> window_;  // the host lives while this does
    QPointer<BoardModel> model_;
    std::unique_ptr<MqttPublisher> publisher_;
    bool down_ = false;
};
