#include "serial/WComThread.h"

#include "common/IntValue.h"

#include <QTimer>

std::function<void(unsigned)> TWComThread::DefaultBeep;

TWComThread::TWComThread(QObject* owner) : TComPort(owner), Beep(DefaultBeep) {
    SetDeviceName(QStringLiteral("COM1"));
    OnRxChar = [this](TCustomComPort* s) {
        try {
            WComPortRxChar(s);
        } catch (const std::exception&) {
            // An error in a handler ends the cycle there; Busy stays set.
        }
    };
    OnCTSChange = OnDSRChange = OnRing = OnRLSDChange = [this](TCustomComPort* s) { WAComOnStatusChanged(s); };
    OnTxEmpty = [this](TCustomComPort* s) { WAComOnTxEmpty(s); };
    OnError = [this](TCustomComPort* s, const EComError& e, uint8_t& action) { WAComOnError(s, e, action); };
    OnDeviceLost = [this](TCustomComPort*) { deviceLost(); };

    setTimeout(100);
    SetReadConstant(0);
    setBufSize(65534);
    SetParity(comcode::ParityNone);
    SetDataBits(DataBitsCode(8));
    SetStopBits(comcode::StopOne);

    pollTimer_ = new QTimer(this);
    pollTimer_->setInterval(10);
    connect(pollTimer_, &QTimer::timeout, this, [this] {
        try {
            PollTimerTick();
        } catch (const std::exception&) {
        }
    });
    reopenTimer_ = new QTimer(this);
    reopenTimer_->setInterval(1000);
    connect(reopenTimer_, &QTimer::timeout, this, &TWComThread::tryReopen);
}

TWComThread::~TWComThread() {
    ClosePort();
    OnRxChar = nullptr;
    OnCTSChange = OnDSRChange = OnRing = OnRLSDChange = nullptr;
    TCustomComPort::OnTxEmpty = nullptr;
    OnError = nullptr;
    OnDeviceLost = nullptr;
    OnPacketReceived = nullptr;
    OnStringReceived = nullptr;
    OnPlaxReceived = nullptr;
    OnKorvoBackupReceived = nullptr;
    OnStatusChanged = nullptr;
    TWComThread::OnTxEmpty = nullptr;
    OnSendFileComplete = nullptr;
}

int TWComThread::Port() const {
    const QString& name = DeviceName();
    if (name.size() < 5)
        return name.size() >= 4 ? intValue(QString(name[3]), 0) : 0;
    return intValue(name.right(2), 0);
}

void TWComThread::setPort(int n) {
    const QString digits = QString::number(n);
    SetDeviceName(n <= 9 ? QStringLiteral("COM") + digits : QStringLiteral("\\\\.\\COM") + digits);
}

int TWComThread::Baud() const { return comcode::rateOfCode(BaudRate()); }

void TWComThread::setBaud(int bitsPerSecond) { SetBaudRate(comcode::rateCode(bitsPerSecond)); }

void TWComThread::setBufSize(int size) {
    SetInput(size);
    SetOutput(size);
}

void TWComThread::setPacketSize(int size) {
    if (size >= 0)
        packetSize_ = size;
}

void TWComThread::setHWHandshake(bool on) {
    if (!GetActive()) {
        RaiseError(QStringLiteral("Can't perform this operation on a closed port"));
        return;
    }
    if (on) {
        SetOptions(CtsFlow);
        SetRTSControl(comcode::RtsHandshake);
    } else {
        SetOptions(0);
        SetRTSControl(comcode::RtsOff);
    }
    hwHandshake_ = on;
}

int TWComThread::DataBitsCode(int n) {
    switch (n) {
    case 4: return 1;
    case 5: return 2;
    case 6: return 3;
    case 7: return 4;
    case 8: return 5;
    default: return 0;
    }
}

void TWComThread::SetCTSFlow() { SetOptions(CtsFlow); }
void TWComThread::NoCTSFlow() { SetOptions(0); }

void TWComThread::OpenPort() {
    if (!SetActive(true) || !GetActive())
        return;
    // A pseudo-terminal refuses DTR; the port layer does not count that as a
    // failure, so the poll timer always starts with an open port.
    if (!SetDTR(true)) {
        SetActive(false);
        return;
    }
    pollTimer_->start();
    reconnecting_ = false;
    reopenTimer_->stop();
}

void TWComThread::ClosePort() {
    reconnecting_ = false;
    reopenTimer_->stop();
    if (GetActive())
        SetActive(false);
    pollTimer_->stop();
}

void TWComThread::Reconnect() {
    if (GetActive())
        return;
    reconnecting_ = true;
    reopenTimer_->start();
}

void TWComThread::deviceLost() {
    // The operator's choice of port stays; the device is looked for again
    // once a second, without messages, until it is back.
    pollTimer_->stop();
    beep(kBeepDefault);
    reconnecting_ = true;
    reopenTimer_->start();
}

void TWComThread::tryReopen() {
    if (!reconnecting_ || GetActive()) {
        reopenTimer_->stop();
        return;
    }
    OpenPort();
}

void TWComThread::beep(unsigned type) {
    if (Beep)
        Beep(type);
}

void TWComThread::PollTimerTick() {
    if (OnStatusChanged)
        pollModemLines();
    if (GetActive() && !busy_)
        WComPortRxChar(this);
}

void TWComThread::WComPortRxChar(TCustomComPort*) {
    if (busy_)
        beep(kBeepAsterisk);
    busy_ = true;

    QByteArray chunk;
    if (GetActive()) {
        bool read = false;
        try {
            read = ReadAnsiString(chunk);
        } catch (const EComError&) {
        }
        if (!read) {
            beep(kBeepDefault);
            chunk.clear();
        }
    }

    if (OnPacketReceived) {
        if (packetSize_ != 0) {
            packetBuffer_.append(chunk);
            while (packetSize_ > 0 && packetBuffer_.size() >= packetSize_ && OnPacketReceived) {
                // The packet leaves the buffer before the handler runs: a
                // nested cycle (modal prompt) must not deliver it again.
                const QByteArray packet = packetBuffer_.first(packetSize_);
                packetBuffer_.remove(0, packetSize_);
                OnPacketReceived(this, packet);
            }
        } else if (!chunk.isEmpty()) {
            OnPacketReceived(this, chunk);
        }
    }
    busy_ = false;
}

void TWComThread::WAComOnStatusChanged(TCustomComPort*) {
    ModemStatus st;
    if (!GetModemStatus(st))
        return;
    if (OnStatusChanged)
        OnStatusChanged(this, st.cts, st.dsr, st.ring, st.rlsd);
}

void TWComThread::WAComOnError(TCustomComPort*, const EComError& E, uint8_t& Action) {
    lastError_ = E.text();
    Action = 1;
}

void TWComThread::WAComOnTxEmpty(TCustomComPort*) {
    if (OnTxEmpty)
        OnTxEmpty(this);
}
