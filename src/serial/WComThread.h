#pragma once
#include "serial/ComPort.h"

#include <QByteArray>
#include <QString>
#include <functional>

class QFile;
class QTimer;

// The serial line component: line settings as plain properties, a 10 ms poll
// timer and the receive cycle that turns received bytes into packets.
// Errors of the port layer end the failing operation silently; the text is
// kept in LastError() for a caller that wants to show it.
class TWComThread : public TComPort {
    Q_OBJECT
public:
    explicit TWComThread(QObject* owner = nullptr);
    ~TWComThread() override;

    // --- properties ---
    int Port() const;
    void setPort(int n);
    int Baud() const;
    void setBaud(int bitsPerSecond);
    bool ok() const { return GetActive(); }
    int BufSize() const { return Input(); }
    void setBufSize(int size);
    int PacketSize() const { return packetSize_; }
    void setPacketSize(int size);  // negative sizes are refused
    int Timeout() const { return WriteConstant(); }
    void setTimeout(int ms) { SetWriteConstant(ms); }
    bool HWHandshake() const { return hwHandshake_; }
    void setHWHandshake(bool on);

    // Data bits as a count (7 or 8 in use) and stop bits as 1 or 2, for the
    // settings file.
    int DataBitsCount() const { return DataBits() ? DataBits() + 3 : 0; }
    void setDataBitsCount(int n) { SetDataBits(DataBitsCode(n)); }

    const QString& LastError() const { return lastError_; }
    int LastErrorCode() const { return lastErrorCode_; }  // errno value of LastError, 0 if none
    // The last error in the operator's words, naming the port and its device.
    QString LastErrorWords() const;
    QTimer* PollTimer() const { return pollTimer_; }
    bool Busy() const { return busy_; }
    const QByteArray& PacketBuffer() const { return packetBuffer_; }
    // The port went away while open and is tried again once a second.
    bool Reconnecting() const { return reconnecting_; }

    // Capture file: every received byte is appended to it as it arrived.
    // Reads back "" when no capture file is open.
    const QString& DebugFile() const { return debugFile_; }
    void setDebugFile(const QString& name);
    bool SendFileInProgress() const { return sendFileInProgress_; }
    static constexpr int StringLimit = 35;

    // --- operations ---
    void OpenPort();
    void ClosePort();
    // While the port is closed, opens the device that was open last, now or
    // as soon as it is back (looked for once a second, as after a device was
    // lost). ClosePort ends it.
    void Reconnect();
    static int DataBitsCode(int n);
    void SetCTSFlow();
    void NoCTSFlow();
    // Writes a file to the line, one chunk per transmit-empty event.
    void SendFile(const QString& fileName);
    void AbortSendFile();

    // --- port layer event handlers ---
    void WComPortRxChar(TCustomComPort* Sender);
    void WAComOnStatusChanged(TCustomComPort* Sender);
    void WAComOnError(TCustomComPort* Sender, const EComError& E, uint8_t& Action);
    void WAComOnTxEmpty(TCustomComPort* Sender);
    void PollTimerTick();

    // --- events (skipped while unset) ---
    std::function<void(TWComThread* Sender, const QByteArray& buffer)> OnPacketReceived;
    std::function<void(TWComThread* Sender, const QByteArray& buffer)> OnStringReceived;
    std::function<void(TWComThread* Sender, char Address, int StartNumber, char Mode, int Time, int Place,
                       const QByteArray& PlaxString)>
        OnPlaxReceived;
    std::function<void(TWComThread* Sender, char Info, int StartNumber, int Channel, char Mode, int Time,
                       const QByteArray& KorvoString)>
        OnKorvoBackupReceived;
    std::function<void(TWComThread* Sender, bool ctsOn, bool dsrOn, bool ringOn, bool rlsdOn)> OnStatusChanged;
    std::function<void(TWComThread* Sender)> OnTxEmpty;
    std::function<void(TWComThread* Sender, int PercentComplete, qint64 BytesSent)> OnSendFileComplete;

    // System beep: 0 the default sound, 0x40 the asterisk. Tests replace it.
    std::function<void(unsigned type)> Beep;
    // What new components take as Beep (the application sets the real one).
    static std::function<void(unsigned type)> DefaultBeep;

    static constexpr unsigned kBeepDefault = 0;
    static constexpr unsigned kBeepAsterisk = 0x40;

private:
    void decodeStrings(const QByteArray& chunk);
    void decodeKorvo(const QByteArray& chunk);
    void decodePlax(const QByteArray& chunk);
    void beep(unsigned type);
    void openPort(bool reopen);
    void deviceLost();
    void tryReopen();
    void runGuarded(void (TWComThread::*step)());

    QTimer* pollTimer_ = nullptr;
    QTimer* reopenTimer_ = nullptr;
    QString lastError_;
    int lastErrorCode_ = 0;
    QByteArray packetBuffer_;
    int packetSize_ = 1;
    bool hwHandshake_ = false;
    bool busy_ = false;
    bool reconnecting_ = false;

    // Line decoders: each has its own buffer and counter.
    QByteArray StringBuffer;
    int StringCount = 0;
    char PlaxBuffer[25] = {};
    int PlaxCount = 0;
    char KorvoBuffer[31] = {};
    int KorvoCount = 0;

    // Capture and file sending.
    QString debugFile_;
    QFile* DebugFileHandle = nullptr;
    QFile* SendFileHandle = nullptr;
    bool sendFileInProgress_ = false;
    qint64 SendSize = 0;
    qint64 SentBytes = 0;
    qint64 ChunkSize = 0;
};
