#include "serial/WComThread.h"

#include "common/IntValue.h"
#include "serial/PortError.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

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
    TCustomComPort::OnTxEmpty = [this](TCustomComPort* s) { WAComOnTxEmpty(s); };
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
    delete DebugFileHandle;
    DebugFileHandle = nullptr;
    delete SendFileHandle;
    SendFileHandle = nullptr;
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

void TWComThread::OpenPort() { openPort(false); }

void TWComThread::openPort(bool reopen) {
    if (!(reopen ? Reopen() : SetActive(true)) || !GetActive())
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
    openPort(true);
    if (!GetActive())
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
    openPort(true);
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

    if (DebugFileHandle && !chunk.isEmpty()) {
        DebugFileHandle->write(chunk);
        DebugFileHandle->flush();
    }

    if (OnStringReceived)
        decodeStrings(chunk);
    if (OnKorvoBackupReceived)
        decodeKorvo(chunk);
    if (OnPlaxReceived)
        decodePlax(chunk);

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

QString TWComThread::LastErrorWords() const {
    const QString device = SystemLocation().isEmpty() ? comDevicePath(Port()) : SystemLocation();
    return portErrorWords(QStringLiteral("COM%1").arg(Port()), device, lastErrorCode_, lastError_);
}

void TWComThread::WAComOnError(TCustomComPort*, const EComError& E, uint8_t& Action) {
    lastError_ = E.text();
    lastErrorCode_ = E.code();
    Action = 1;
}

namespace {

int digitValue(char c) { return int(static_cast<unsigned char>(c)) - 48; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
// A byte a line may hold: blank to 'z'. Compared unsigned, so bytes 0x80 to
// 0xFF end a line on every platform, whatever the signedness of char.
bool isLineByte(char c) { return static_cast<unsigned char>(c) >= 32 && static_cast<unsigned char>(c) <= 'z'; }
// A digit in '0'..max counts its value, anything else 0.
int digitIn(char c, char max) { return c >= '0' && c <= max ? c - '0' : 0; }

} // namespace

void TWComThread::decodeStrings(const QByteArray& chunk) {
    for (const char b : chunk) {
        StringBuffer.append(b);
        ++StringCount;
        if (b == '\r' && StringCount > 2 && StringCount < StringLimit) {
            if (OnStringReceived)
                OnStringReceived(this, StringBuffer);
            StringBuffer.clear();
            StringCount = 0;
        } else if (StringCount >= StringLimit || static_cast<unsigned char>(b) > 'z') {
            StringBuffer.clear();
            StringCount = 0;
        }
    }
}

void TWComThread::decodeKorvo(const QByteArray& chunk) {
    for (const char b : chunk) {
        KorvoBuffer[KorvoCount++] = b;
        if (b == '\r' && KorvoCount >= 27 && KorvoCount <= 30) {
            KorvoBuffer[KorvoCount] = 0;
            const char* p = KorvoBuffer - 1;  // 1-based positions
            const int start = digitValue(p[2]) * 1000 + digitValue(p[3]) * 100 + digitValue(p[4]) * 10 + digitValue(p[5]);
            // Sums wrap like 32-bit arithmetic for bytes that are no digits.
            int64_t t = int64_t(digitValue(p[11])) * 360000000 + int64_t(digitValue(p[12])) * 36000000 +
                        int64_t(digitValue(p[14])) * 6000000 + int64_t(digitValue(p[15])) * 600000 +
                        int64_t(digitValue(p[17])) * 100000 + int64_t(digitValue(p[18])) * 10000 +
                        int64_t(digitValue(p[20])) * 1000 + int64_t(digitValue(p[21])) * 100;
            if (p[22] != ' ')
                t += int64_t(digitValue(p[22])) * 10;
            if (p[23] != ' ')
                t += digitValue(p[23]);
            const QByteArray line(KorvoBuffer, KorvoCount);
            if (OnKorvoBackupReceived)
                OnKorvoBackupReceived(this, p[1], start, digitValue(p[8]), p[9], int32_t(uint32_t(t)), line);
            KorvoCount = 0;
            KorvoBuffer[0] = 0;
        } else if (!(KorvoCount < 31 && isLineByte(b))) {
            KorvoCount = 0;
            KorvoBuffer[0] = 0;
        }
    }
}

void TWComThread::decodePlax(const QByteArray& chunk) {
    for (const char b : chunk) {
        PlaxBuffer[PlaxCount++] = b;
        if (b == '\r' && PlaxCount >= 21 && PlaxCount <= 24) {
            PlaxBuffer[PlaxCount] = 0;
            const int len = PlaxCount;
            const bool addressed = PlaxBuffer[0] >= 'A' && PlaxBuffer[0] <= 'L' &&
                                   (PlaxBuffer[17] == '.' || PlaxBuffer[17] == ' ');
            const int o = addressed ? 1 : 0;
            const char* p = PlaxBuffer - 1 + o;  // 1-based positions of the normal form
            const char address = addressed ? PlaxBuffer[0] : ' ';
            auto place = [](char c) { return isDigit(c) ? c - '0' : 0; };
            const int start = place(p[1]) * 100 + place(p[2]) * 10 + place(p[3]);
            const int time = digitIn(p[9], '2') * 360000000 + digitIn(p[10], '9') * 36000000 +
                             digitIn(p[12], '5') * 6000000 + digitIn(p[13], '9') * 600000 +
                             digitIn(p[15], '5') * 100000 + digitIn(p[16], '9') * 10000 +
                             digitIn(p[18], '9') * 1000 + digitIn(p[19], '9') * 100 + digitIn(p[20], '9') * 10;
            int rank = -1;
            if (!addressed) {
                if (len >= 23)
                    rank = isDigit(p[22]) ? place(p[21]) * 10 + (p[22] - '0') : -1;
                else if (len == 22)
                    rank = isDigit(p[21]) ? p[21] - '0' : -1;
            } else if (len == 24) {
                rank = place(p[21]) * 10 + place(p[22]);
            }
            const QByteArray line(PlaxBuffer, len);
            if (OnPlaxReceived)
                OnPlaxReceived(this, address, start, p[4], time, rank, line);
            PlaxCount = 0;
            PlaxBuffer[0] = 0;
        } else if (!(PlaxCount < 25 && isLineByte(b))) {
            PlaxCount = 0;
            PlaxBuffer[0] = 0;
        }
    }
}

void TWComThread::setDebugFile(const QString& name) {
    delete DebugFileHandle;
    DebugFileHandle = nullptr;
    debugFile_.clear();
    if (name.isEmpty())
        return;
    auto* f = new QFile(name);
    if (!f->open(QIODevice::WriteOnly | QIODevice::Append)) {
        delete f;
        return;
    }
    DebugFileHandle = f;
    debugFile_ = name;
}

void TWComThread::SendFile(const QString& fileName) {
    if (!GetActive()) {
        RaiseError(QStringLiteral("Can't perform this operation on a closed port"));
        return;
    }
    if (!QFileInfo(fileName).isFile() || sendFileInProgress_) {
        RaiseError(QStringLiteral("File does not exist or send file already in progress"));
        return;
    }
    delete SendFileHandle;
    SendFileHandle = nullptr;
    sendFileInProgress_ = false;
    auto* f = new QFile(fileName);
    if (!f->open(QIODevice::ReadOnly)) {
        delete f;
        RaiseError(QStringLiteral("No read access to the file: ") + fileName);
        return;
    }
    SendFileHandle = f;
    SendSize = f->size();
    SentBytes = 0;
    // At least one byte a step, so short files advance too.
    ChunkSize = std::max<qint64>(1, std::min<qint64>(BufSize() > 0 ? BufSize() : 1, SendSize / 100));
    sendFileInProgress_ = true;
    if (OnSendFileComplete)
        OnSendFileComplete(this, 0, 0);
    WAComOnTxEmpty(this);
}

void TWComThread::AbortSendFile() {
    if (!sendFileInProgress_)
        return;
    SentBytes = SendSize;
    PurgeOutput();
    WAComOnTxEmpty(this);
    sendFileInProgress_ = false;
    SentBytes = 0;
    SendSize = 0;
}

void TWComThread::WAComOnTxEmpty(TCustomComPort*) {
    if (!sendFileInProgress_) {
        if (OnTxEmpty)
            OnTxEmpty(this);
        return;
    }
    if (SentBytes < SendSize && SendFileHandle) {
        const QByteArray chunk = SendFileHandle->read(ChunkSize);
        if (!chunk.isEmpty()) {
            for (const char b : chunk) {
                if (!WriteByte(b))
                    return;
                ++SentBytes;
            }
            if (OnSendFileComplete)
                OnSendFileComplete(this, int(SentBytes * 100 / SendSize), SentBytes);
            return;
        }
        // The file got shorter while it was sent: what is there is all.
        SendSize = SentBytes;
    }
    sendFileInProgress_ = false;
    delete SendFileHandle;
    SendFileHandle = nullptr;
    if (OnSendFileComplete)
        OnSendFileComplete(this, 100, SentBytes);
}
