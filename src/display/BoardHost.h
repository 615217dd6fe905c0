#pragma once
#include <QString>

class BoardCore;
class BoardModel;
class QWidget;

// What an output (web board, MQTT) needs of the program that shows the
// board: the core's values and events, the visual snapshot, where its
// settings and its state go. The main window is one; a test may be another.
class BoardHost {
public:
    struct OutputSettings {
        int webPort = 8080;  // 0: off
        QString webListen;
        QString mqttHost;    // empty: off
        int mqttPort = 1883;
        QString mqttTopic;
        QString mqttUser, mqttPassword;
    };

    virtual BoardCore& core() = 0;
    virtual BoardModel* boardModel() = 0;
    virtual QWidget* noticeParent() = 0;  // notices are shown over it
    virtual OutputSettings outputSettings() const = 0;
    virtual void setWebAddress(const QString& address) = 0;
    virtual void setMqttStatus(const QString& text) = 0;

protected:
    ~BoardHost() = default;
};
