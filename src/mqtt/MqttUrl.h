#pragma once
#include <QString>
#include <optional>

// Where the board is published: a broker and the prefix of its topics, as
// disp.ini's Mqtt keys or mqtt://[user:pass@]host[:port]/prefix name it.
struct MqttTarget {
    QString host;
    int port = 1883;
    QString user, password;
    QString prefix = QStringLiteral("timedisplay");

    // mqtt://host:port/prefix, without user and password (for the status line).
    QString display() const;
};

namespace mqtturl {

// nullopt with the reason when `text` is no such URL.
std::optional<MqttTarget> parse(const QString& text, QString* why);
// A prefix topics can be published under: no wildcards, no empty level,
// not a broker's own ($...). Empty: fine; otherwise the reason.
QString prefixFault(const QString& prefix);

} // namespace mqtturl
