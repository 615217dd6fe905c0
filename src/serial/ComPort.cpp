#include "serial/ComPort.h"

#include "common/IntValue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QString kOpenPortError = QStringLiteral("Can't perform this operation on an open port");
const QString kClosedPortError = QStringLiteral("Can't perform this operation on a closed port");

constexpr int kRates[] = {50,    75,    110,   150,   300,   600,   1200,  1800,   2000,
                          2400,  3600,  4800,  7200,  9600,  10400, 14400, 15625,  19200,
                          28800, 38400, 56000, 57600, 115200, 128000, 256000};

QString systemText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// Devices without modem lines (pseudo-terminals, some adapters) answer
// modem-control calls with one of these.
bool isModemRefusal(int err) {
    return err == ENOTTY || err == EINVAL || err == ENOTSUP || err == ENOSYS || err == EPERM;
}

// A ttyS node exists for every UART the kernel reserved; only those with a
// real chip behind them (uart type not 0) are worth listing.
bool serialNodePresent(const QString& path) {
    if (!QFileInfo::exists(path))
        return false;
    if (!path.startsWith(QLatin1String("/dev/ttyS")))
        return true;
    QFile type(QStringLiteral("/sys/class/tty/") + path.mid(5) + QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly))
        return true;
    return intValue(type.read(16).trimmed(), 0) != 0;
}

struct LineState {
    int rate = 0, dataBits = 0;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

int speedValue(speed_t s) {
    static const struct { speed_t code; int bps; } table[] = {
        {B50, 50},       {B75, 75},       {B110, 110},       {B150, 150},       {B300, 300},
        {B600, 600},     {B1200, 1200},   {B1800, 1800},     {B2400, 2400},     {B4800, 4800},
        {B9600, 9600},   {B19200, 19200}, {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
        {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};
    for (const auto& e : table)
        if (e.code == s)
            return e.bps;
    return 0;
}

// The device's present line settings, for the settings whose code is 0.
bool queryLineState(const QString& path, LineState& st) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    termios t{};
    const bool ok = ::tcgetattr(fd, &t) == 0;
    ::close(fd);
    if (!ok)
        return false;
    st.rate = speedValue(cfgetospeed(&t));
    switch (t.c_cflag & CSIZE) {
    case CS5: st.dataBits = 5; break;
    case CS6: st.dataBits = 6; break;
    case CS7: st.dataBits = 7; break;
    default: st.dataBits = 8; break;
    }
    st.parity = !(t.c_cflag & PARENB) ? QSerialPort::NoParity
                : (t.c_cflag & PARODD) ? QSerialPort::OddParity
                                       : QSerialPort::EvenParity;
    st.stopBits = (t.c_cflag & CSTOPB) ? QSerialPort::TwoStop : QSerialPort::OneStop;
    return true;
}

// Inode and change time of a link itself; zeros when there is none.
std::array<int64_t, 3> linkIdentity(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {int64_t(st.st_ino), int64_t(st.st_ctim.tv_sec), int64_t(st.st_ctim.tv_nsec)};
}

QSerialPort::Parity parityOf(int code) {
    switch (code) {
    case comcode::ParityOdd: return QSerialPort::OddParity;
    case comcode::ParityEven: return QSerialPort::EvenParity;
    case comcode::ParityMark: return QSerialPort::MarkParity;
    case comcode::ParitySpace: return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits stopBitsOf(int code) {
    switch (code) {
    case comcode::StopOneAndHalf: return QSerialPort::OneAndHalfStop;
    case comcode::StopTwo: return QSerialPort::TwoStop;
    default: return QSerialPort::OneStop;
    }
}

// The errno value of a QSerialPort failure, so every port error carries one
// kind of code. Qt reports a device held by another program (its lock file
// or an exclusive open) as a permission error too; whether the user may open
// the device at all tells the two apart.
int codeOf(QSerialPort::SerialPortError e, const QString& location) {
    switch (e) {
    case QSerialPort::NoError: return 0;
    case QSerialPort::DeviceNotFoundError: return ENOENT;
    case QSerialPort::PermissionError:
        if (!location.isEmpty() &&
            ::faccessat(AT_FDCWD, QFile::encodeName(location).constData(), R_OK | W_OK, AT_EACCESS) != 0)
            return errno == ENOENT ? ENOENT : EACCES;
        return EBUSY;
    case QSerialPort::OpenError: return EBUSY;
    case QSerialPort::TimeoutError: return ETIMEDOUT;
    case QSerialPort::UnsupportedOperationError: return EINVAL;
    default: return EIO;
    }
}

} // namespace

namespace comcode {
int rateCode(int bitsPerSecond) {
    for (int i = 0; i < int(std::size(kRates)); ++i)
        if (kRates[i] == bitsPerSecond)
            return i + 1;
    return 0;
}
int rateOfCode(int code) { return code >= 1 && code <= int(std::size(kRates)) ? kRates[code - 1] : 0; }
} // namespace comcode

QString comTablePath(int n) {
    if (n >= 1 && n <= 32)
        return QStringLiteral("/dev/ttyS%1").arg(n - 1);
    if (n >= 33 && n <= 64)
        return QStringLiteral("/dev/ttyUSB%1").arg(n - 33);
    if (n >= 65 && n <= 96)
        return QStringLiteral("/dev/ttyACM%1").arg(n - 65);
    if (n >= 97 && n <= 99)
        return QStringLiteral("/dev/ttyAMA%1").arg(n - 97);
    return {};
}

QString comDevicePath(int n) {
    if (n < 1 || n > 99)
        return {};
    const QFileInfo local(QDir::current().absoluteFilePath(QStringLiteral("COM%1").arg(n)));
    if (local.isSymLink() || local.exists())
        return local.absoluteFilePath();
    return comTablePath(n);
}

int comNumberOfName(const QString& deviceName) {
    QString name = deviceName;
    if (name.startsWith(QLatin1String("\\\\.\\")))
        name = name.mid(4);
    if (!name.startsWith(QLatin1String("COM")) || name.size() < 4 || name.size() > 5)
        return 0;
    for (int i = 3; i < name.size(); ++i)
        if (!name[i].isDigit())
            return 0;
    const int n = name.mid(3).toInt();
    return n >= 1 && n <= 99 ? n : 0;
}

void EnumComDevices(QStringList& list) {
    for (int n = 1; n <= 99; ++n)
        if (serialNodePresent(comDevicePath(n)))
            list.append(QStringLiteral("COM%1").arg(n));
}

TCustomComPort::TCustomComPort(QObject* parent) : QObject(parent) {
    port_ = new QSerialPort(this);
    watch_ = new QTimer(this);
    watch_->setInterval(1000);
    connect(watch_, &QTimer::timeout, this, &TCustomComPort::onWatch);
    connect(port_, &QSerialPort::readyRead, this, [this] {
        if (OnRxChar)
            OnRxChar(this);
    });
    connect(port_, &QSerialPort::bytesWritten, this, [this] {
        if (port_->bytesToWrite() == 0 && OnTxEmpty)
            OnTxEmpty(this);
    });
    connect(port_, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { onErrorOccurred(int(e)); });
}

TCustomComPort::~TCustomComPort() { closeDevice(); }

bool TCustomComPort::RaiseError(const QString& text, int code) {
    uint8_t action = 0;
    const EComError e(text, code);
    if (OnError)
        OnError(this, e, action);
    if (action == 1)
        return false;
    throw e;
}

bool TCustomComPort::GetActive() const { return port_->isOpen(); }

bool TCustomComPort::SetActive(bool on) {
    if (on == GetActive())
        return true;
    if (!on) {
        closeDevice();
        return true;
    }
    return openDevice(false);
}

bool TCustomComPort::Reopen() { return GetActive() || openDevice(true); }

bool TCustomComPort::openDevice(bool sameRoute) {
    const int n = comNumberOfName(deviceName_);
    // Names of the COM family outside 1..99 (port 0 is "none") name no device.
    const bool comFamily = deviceName_.startsWith(QLatin1String("COM")) ||
                           deviceName_.startsWith(QLatin1String("\\\\.\\COM"));
    const QString path = n > 0 ? comDevicePath(n) : comFamily ? QString() : deviceName_;
    const QFileInfo fi(path);
    // The route memory belongs to the device name it was made for: a port
    // never opened before takes its path as it finds it.
    if (sameRoute && openedName_ != deviceName_)
        sameRoute = false;
    if (sameRoute && openedViaLink_ && !fi.isSymLink())
        return RaiseError(systemText(ENOENT), ENOENT);
    linkPath_.clear();
    location_ = path;
    if (fi.isSymLink()) {
        linkPath_ = fi.absoluteFilePath();
        // The lock file is named after the real device, so two names of one
        // device still exclude each other.
        location_ = fi.canonicalFilePath();
        if (location_.isEmpty())
            return RaiseError(systemText(ENOENT), ENOENT);
        // A lost pseudo-terminal never comes back: the same old link to the
        // same /dev/pts number names whatever terminal took that number
        // since. Its device is back only when the link is made anew.
        if (sameRoute && location_ == lostLocation_ && lostLocation_.startsWith(QLatin1String("/dev/pts/")) &&
            linkIdentity(linkPath_) == openedLinkId_)
            return RaiseError(systemText(ENOENT), ENOENT);
    }
    if (path.isEmpty())
        return RaiseError(systemText(ENOENT), ENOENT);
    // A ttyS node without a UART behind it is no device, whatever its open says.
    if (QFileInfo::exists(location_) && !serialNodePresent(location_))
        return RaiseError(systemText(ENODEV), ENODEV);

    LineState now;
    if (baudCode_ == 0 || dataBitsCode_ == 0 || parityCode_ == 0 || stopBitsCode_ == 0)
        queryLineState(location_, now);
    port_->setPortName(location_);
    const int rate = baudCode_ ? comcode::rateOfCode(baudCode_) : now.rate;
    port_->setBaudRate(rate > 0 ? rate : 9600);
    const int bits = dataBitsCode_ ? dataBitsCode_ + 3 : (now.dataBits ? now.dataBits : 8);
    port_->setDataBits(QSerialPort::DataBits(bits));
    port_->setParity(parityCode_ ? parityOf(parityCode_) : now.parity);
    port_->setStopBits(stopBitsCode_ ? stopBitsOf(stopBitsCode_) : now.stopBits);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    port_->setReadBufferSize(inputSize_ > 0 ? inputSize_ : 0);
    if (!port_->open(QIODevice::ReadWrite)) {
        const QString text = port_->errorString();
        const int code = codeOf(port_->error(), location_);
        closeDevice();
        return RaiseError(text, code);
    }
    port_->clear(QSerialPort::AllDirections);
    if (!applyFlow()) {
        closeDevice();
        return false;
    }
    openedViaLink_ = !linkPath_.isEmpty();
    openedName_ = deviceName_;
    openedLocation_ = location_;
    openedLinkId_ = linkIdentity(linkPath_);
    lostLocation_.clear();
    lostPending_ = false;
    haveModem_ = false;
    watch_->start();
    return true;
}

void TCustomComPort::closeDevice() {
    watch_->stop();
    if (port_->isOpen())
        port_->close();
    port_->clearError();
}

bool TCustomComPort::applyFlow() {
    const bool handshake = (options_ & CtsFlow) || rtsCode_ == comcode::RtsHandshake;
    if (!port_->setFlowControl(handshake ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl))
        return RaiseError(port_->errorString(), codeOf(port_->error(), location_));
    if (rtsCode_ == comcode::RtsOff || rtsCode_ == comcode::RtsOn || rtsCode_ == comcode::RtsToggle) {
        int bit = TIOCM_RTS;
        if (::ioctl(port_->handle(), rtsCode_ == comcode::RtsOff ? TIOCMBIC : TIOCMBIS, &bit) != 0 &&
            !isModemRefusal(errno))
            return RaiseError(systemText(errno), errno);
    }
    return true;
}

bool TCustomComPort::SetDeviceName(const QString& name) {
    if (name == deviceName_)
        return true;
    if (GetActive())
        return RaiseError(kOpenPortError);
    deviceName_ = name;
    return true;
}

QString TCustomComPort::LineText() const {
    if (!GetActive())
        return {};
    static const char kParity[] = {'N', '?', 'E', 'O', 'S', 'M'};  // by QSerialPort::Parity
    const int p = int(port_->parity());
    const QString stop = port_->stopBits() == QSerialPort::TwoStop         ? QStringLiteral("2")
                         : port_->stopBits() == QSerialPort::OneAndHalfStop ? QStringLiteral("1.5")
                                                                             : QStringLiteral("1");
    return QStringLiteral("%1 %2%3%4")
        .arg(port_->baudRate())
        .arg(int(port_->dataBits()))
        .arg(QChar(p >= 0 && p < 6 ? kParity[p] : '?'))
        .arg(stop);
}

bool TCustomComPort::SetBaudRate(int code) {
    baudCode_ = code;
    if (GetActive() && code != 0 && !port_->setBaudRate(comcode::rateOfCode(code)))
        return RaiseError(port_->errorString(), codeOf(port_->error(), location_));
    return true;
}

bool TCustomComPort::SetDataBits(int code) {
    dataBitsCode_ = code;
    if (GetActive() && code != 0 && !port_->setDataBits(QSerialPort::DataBits(code + 3)))
        return RaiseError(port_->errorString(), codeOf(port_->error(), location_));
    return true;
}

bool TCustomComPort::SetParity(int code) {
    parityCode_ = code;
    if (GetActive() && code != 0 && !port_->setParity(parityOf(code)))
        return RaiseError(port_->errorString(), codeOf(port_->error(), location_));
    return true;
}

bool TCustomComPort::SetStopBits(int code) {
    stopBitsCode_ = code;
    if (GetActive() && code != 0 && !port_->setStopBits(stopBitsOf(code)))
        return RaiseError(port_->errorString(), codeOf(port_->error(), location_));
    return true;
}

bool TCustomComPort::SetOptions(uint32_t options) {
    options_ = options;
    return GetActive() ? applyFlow() : true;
}

bool TCustomComPort::SetRTSControl(int code) {
    rtsCode_ = code;
    return GetActive() ? applyFlow() : true;
}

bool TCustomComPort::SetInput(int size) {
    inputSize_ = size;
    if (GetActive())
        port_->setReadBufferSize(size > 0 ? size : 0);
    return true;
}

bool TCustomComPort::SetOutput(int size) {
    outputSize_ = size;
    return true;
}

bool TCustomComPort::ReadAnsiString(QByteArray& out) {
    if (!GetActive())
        return RaiseError(kClosedPortError);
    out = port_->readAll();
    return true;
}

bool TCustomComPort::WriteByte(char b) {
    if (!GetActive())
        return RaiseError(kClosedPortError);
    if (port_->write(&b, 1) != 1)
        return RaiseError(port_->errorString(), codeOf(port_->error(), location_));
    // The output queue is bounded like a driver buffer: a full queue waits
    // for the line up to the write timeout.
    const int limit = outputSize_ > 0 ? outputSize_ : 65534;
    if (port_->bytesToWrite() > limit && !port_->waitForBytesWritten(writeConstant_ > 0 ? writeConstant_ : 0))
        return RaiseError(QStringLiteral("Timeout"));
    return true;
}

bool TCustomComPort::PurgeOutput() {
    if (!GetActive())
        return RaiseError(kClosedPortError);
    port_->clear(QSerialPort::Output);
    return true;
}

bool TCustomComPort::SetDTR(bool on) {
    if (!GetActive())
        return RaiseError(kClosedPortError);
    int bit = TIOCM_DTR;
    if (::ioctl(port_->handle(), on ? TIOCMBIS : TIOCMBIC, &bit) != 0 && !isModemRefusal(errno))
        return RaiseError(systemText(errno), errno);
    return true;
}

bool TCustomComPort::GetModemStatus(ModemStatus& status) {
    if (!GetActive())
        return RaiseError(kClosedPortError);
    int bits = 0;
    if (::ioctl(port_->handle(), TIOCMGET, &bits) != 0)
        return RaiseError(systemText(errno), errno);
    status.cts = bits & TIOCM_CTS;
    status.dsr = bits & TIOCM_DSR;
    status.ring = bits & TIOCM_RNG;
    status.rlsd = bits & TIOCM_CD;
    return true;
}

void TCustomComPort::pollModemLines() {
    if (!GetActive() || !(OnCTSChange || OnDSRChange || OnRing || OnRLSDChange))
        return;
    int bits = 0;
    if (::ioctl(port_->handle(), TIOCMGET, &bits) != 0)
        return;  // no modem lines on this device
    ModemStatus s{bool(bits & TIOCM_CTS), bool(bits & TIOCM_DSR), bool(bits & TIOCM_RNG),
                  bool(bits & TIOCM_CD)};
    const ModemStatus before = lastModem_;
    const bool first = !haveModem_;
    lastModem_ = s;
    haveModem_ = true;
    if (first)
        return;
    if (s.cts != before.cts && OnCTSChange)
        OnCTSChange(this);
    if (s.dsr != before.dsr && OnDSRChange)
        OnDSRChange(this);
    if (s.ring != before.ring && OnRing)
        OnRing(this);
    if (s.rlsd != before.rlsd && OnRLSDChange)
        OnRLSDChange(this);
}

void TCustomComPort::onErrorOccurred(int error) {
    // A vanished device makes every read fail at once and QSerialPort keeps
    // retrying: the first fatal error closes the port. Closing happens from
    // the event loop, not inside QSerialPort's own notification.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!GetActive() || lostPending_)
        return;
    lostPending_ = true;
    // A read that returns end-of-file (a hung-up tty) leaves a stale errno
    // behind, so QSerialPort's text would be unrelated.
    const QString text = error == QSerialPort::ResourceError ? port_->errorString() : systemText(EIO);
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            if (!lostPending_ || !GetActive())
                return;
            lostPending_ = false;
            lostLocation_ = openedLocation_;
            closeDevice();
            try {
                RaiseError(text.isEmpty() ? systemText(EIO) : text, EIO);
            } catch (const EComError&) {
                // No handler: the loss is reported through OnDeviceLost alone.
            }
            if (OnDeviceLost)
                OnDeviceLost(this);
        },
        Qt::QueuedConnection);
}

void TCustomComPort::onWatch() {
    // A device that disappears without a read error (its link removed or
    // pointed elsewhere) counts as lost too.
    bool gone = !QFileInfo::exists(location_);
    if (!gone && !linkPath_.isEmpty())
        gone = QFileInfo(linkPath_).canonicalFilePath() != location_;
    if (!gone || !GetActive())
        return;
    lostPending_ = false;
    lostLocation_ = openedLocation_;
    closeDevice();
    try {
        RaiseError(systemText(ENODEV), ENODEV);
    } catch (const EComError&) {
    }
    if (OnDeviceLost)
        OnDeviceLost(this);
}
