#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>

class QSerialPort;
class QTimer;

// Error of the serial port layer: the system's text for the failing call or
// one of the layer's fixed texts, and an errno value (0 for the fixed texts).
class EComError : public std::runtime_error {
public:
    explicit EComError(const QString& text, int code = 0)
        : std::runtime_error(text.toStdString()), text_(text), code_(code) {}
    const QString& text() const { return text_; }
    int code() const { return code_; }

private:
    QString text_;
    int code_;
};

// Port names on Linux. Port n (1..99) is a device or symlink "COM<n>" in the
// working directory when one exists (even a dangling link: the device it maps
// may come back later), otherwise COM1..32 = /dev/ttyS0..31,
// COM33..64 = /dev/ttyUSB0..31, COM65..96 = /dev/ttyACM0..31,
// COM97..99 = /dev/ttyAMA0..2. Empty for numbers outside 1..99.
QString comDevicePath(int n);
// The fixed table alone, without the working-directory link.
QString comTablePath(int n);
// Port number of a device name "COM<n>" or "\\.\COM<n>"; 0 when it is none.
int comNumberOfName(const QString& deviceName);
// Appends "COM<n>" for every port number whose device exists.
void EnumComDevices(QStringList& list);

// Settings codes: 0 leaves the device's own value unchanged when applied.
namespace comcode {
enum Parity : int { ParityKeep = 0, ParityNone = 1, ParityOdd, ParityEven, ParityMark, ParitySpace };
enum StopBits : int { StopKeep = 0, StopOne = 1, StopOneAndHalf, StopTwo };
enum RtsControl : int { RtsKeep = 0, RtsOff = 1, RtsOn, RtsHandshake, RtsToggle };
constexpr int kCustomRate = 26;
// Rate code 1..25 from bits per second; 0 for a rate not in the table.
int rateCode(int bitsPerSecond);
// Bits per second of a code; 0 for codes 0, 26 and out of range.
int rateOfCode(int code);
} // namespace comcode

// The serial port layer subset the program uses, on QSerialPort. Port events
// arrive on the thread that owns the object (the UI thread) through the
// event loop, one at a time; every failure goes through the error handler
// before anything is raised.
class TCustomComPort : public QObject {
    Q_OBJECT
public:
    enum Option : uint32_t {
        ParityCheck = 1u << 0,
        CtsFlow = 1u << 1,
        DsrFlow = 1u << 2,
        DsrSensitivity = 1u << 3,
        TxContinueOnXoff = 1u << 4,
        ErrorChar = 1u << 5,
        DiscardNull = 1u << 6,
        AbortOnError = 1u << 7,
    };
    struct ModemStatus {
        bool cts = false, dsr = false, ring = false, rlsd = false;
        bool operator==(const ModemStatus&) const = default;
    };

    explicit TCustomComPort(QObject* parent = nullptr);
    ~TCustomComPort() override;

    // Open or close. Returns false after a silently aborted failure.
    bool SetActive(bool on);
    bool GetActive() const;
    // Opens the device that was open last: a port opened through a "COM<n>"
    // link waits for that link and never falls back to the fixed table.
    bool Reopen();

    const QString& DeviceName() const { return deviceName_; }
    bool SetDeviceName(const QString& name);
    // The file the device name resolved to when the port was last opened.
    const QString& SystemLocation() const { return location_; }

    // The line as applied to the open device, as "9600 8N1"; empty while closed.
    QString LineText() const;

    bool SetBaudRate(int code);
    int BaudRate() const { return baudCode_; }
    bool SetDataBits(int code);
    int DataBits() const { return dataBitsCode_; }
    bool SetParity(int code);
    int Parity() const { return parityCode_; }
    bool SetStopBits(int code);
    int StopBits() const { return stopBitsCode_; }
    bool SetOptions(uint32_t options);
    uint32_t Options() const { return options_; }
    bool SetRTSControl(int code);
    int RTSControl() const { return rtsCode_; }
    bool SetInput(int size);
    int Input() const { return inputSize_; }
    bool SetOutput(int size);
    int Output() const { return outputSize_; }
    void SetWriteConstant(int ms) { writeConstant_ = ms; }
    int WriteConstant() const { return writeConstant_; }
    void SetReadConstant(int ms) { readConstant_ = ms; }
    int ReadConstant() const { return readConstant_; }

    // All bytes waiting at this moment, possibly none; never waits.
    bool ReadAnsiString(QByteArray& out);
    bool WriteByte(char b);
    bool PurgeOutput();
    // Raises or drops DTR. A device without modem lines (a pseudo-terminal)
    // refuses this; the refusal is not an error.
    bool SetDTR(bool on);
    bool GetModemStatus(ModemStatus& status);

    // Error handler: called with Action 0 before an error is raised. Setting
    // Action to 1 turns the error into a silent abort (the call returns false);
    // left at 0, the error is thrown as EComError.
    std::function<void(TCustomComPort* Sender, const EComError& E, uint8_t& Action)> OnError;
    std::function<void(TCustomComPort* Sender)> OnRxChar;
    std::function<void(TCustomComPort* Sender)> OnTxEmpty;
    std::function<void(TCustomComPort* Sender)> OnCTSChange;
    std::function<void(TCustomComPort* Sender)> OnDSRChange;
    std::function<void(TCustomComPort* Sender)> OnRing;
    std::function<void(TCustomComPort* Sender)> OnRLSDChange;
    // The device failed for good while open (unplugged, far end gone); the
    // port has been closed already.
    std::function<void(TCustomComPort* Sender)> OnDeviceLost;

    // Runs the error handler; returns false for a silent abort, throws otherwise.
    bool RaiseError(const QString& text, int code = 0);

protected:
    // Checks the modem lines and fires the change events; called by the
    // owner's timer since the driver interface has no such notification.
    void pollModemLines();

private:
    bool openDevice(bool sameRoute);
    void closeDevice();
    bool applySettings();
    bool applyFlow();
    void onErrorOccurred(int error);
    void onWatch();

    QSerialPort* port_ = nullptr;
    QTimer* watch_ = nullptr;  // checks once a second that the device is still there
    QString deviceName_ = QStringLiteral("COM1");
    QString location_;
    QString linkPath_;  // the "COM<n>" link used at open, if any
    bool openedViaLink_ = false;
    // The last successful open: its device and the identity of its link
    // (inode and change time), to tell a link made anew from a stale one.
    QString openedName_;  // the device name of that open
    QString openedLocation_;
    std::array<int64_t, 3> openedLinkId_{};
    QString lostLocation_;  // the device of the last open that was lost
    int baudCode_ = 0, dataBitsCode_ = 0, parityCode_ = 0, stopBitsCode_ = 0, rtsCode_ = 0;
    uint32_t options_ = 0;
    int inputSize_ = 0, outputSize_ = 0;
    int writeConstant_ = 0, readConstant_ = 0;
    bool lostPending_ = false;
    bool haveModem_ = false;
    ModemStatus lastModem_;
};

class TComPort : public TCustomComPort {
    Q_OBJECT
public:
    using TCustomComPort::TCustomComPort;
};
