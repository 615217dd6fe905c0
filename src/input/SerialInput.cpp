#include "input/SerialInput.h"

#include "serial/WComThread.h"

SerialInput::SerialInput(TWComThread* port, QObject* parent) : Input(parent), port_(port) {
    port_->OnPacketReceived = [this](TWComThread*, const QByteArray& buffer) { emit received(buffer); };
}

void SerialInput::open() {
    port_->OpenPort();
    emit stateChanged();
}

void SerialInput::close() {
    port_->ClosePort();
    emit stateChanged();
}

Input::State SerialInput::state() const {
    State s;
    s.where = QStringLiteral("COM%1").arg(port_->Port());
    if (port_->ok()) {
        s.phase = Phase::Connected;
    } else if (port_->Reconnecting()) {
        s.phase = Phase::Waiting;
        s.why = port_->LastErrorWords();
    }
    return s;
}
