#pragma once
#include "input/Input.h"

class TWComThread;

// The serial line component as an input: its packets become received().
// The component stays its owner's; this takes its OnPacketReceived.
class SerialInput : public Input {
    Q_OBJECT
public:
    explicit SerialInput(TWComThread* port, QObject* parent = nullptr);
    void open() override;
    void close() override;
    State state() const override;
    TWComThread* port() const { return port_; }

private:
    TWComThread* port_;
};
