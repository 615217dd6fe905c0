#pragma once
#include "mqtt/MqttUrl.h"

#include <QString>
#include <QUrl>
#include <optional>

// The board a follower shows: the retained `state` topic under a prefix on an
// MQTT broker, or another program's web board (its /live WebSocket).
struct FollowSource {
    enum class Kind { Mqtt, Http };
    Kind kind = Kind::Mqtt;
    MqttTarget mqtt;  // Kind::Mqtt
    QUrl web;         // Kind::Http: http://host:port/

    // As the status line shows it: no user, no password.
    QString display() const;
    QUrl live() const;                         // ws://host:port/live
    QUrl picture(const QString& path) const;   // a picture's path on the web board
};

namespace followurl {
// nullopt with the reason when `text` is neither form.
std::optional<FollowSource> parse(const QString& text, QString* why);
} // namespace followurl
