// timedisplay-sim: a timing device on a pseudo-terminal or a serial port.
#include "RaceModel.h"
#include "common/CommandLineExit.h"
#include "console/Signals.h"
#include "protocol/Journal.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Bytes queued beyond this are dropped, as on a line with nobody reading.
constexpr qsizetype kMaxQueue = 256 * 1024;

void fail(const QString& text) {
    std::fprintf(stderr, "timedisplay-sim: %s\n", qPrintable(text));
    std::exit(2);
}

// What the far end of the line does.
enum class Line {
    Listening,  // takes bytes
    Waiting,    // our pseudo-terminal, with no program on its other end (yet, or again)
    Gone,       // the device went away: EIO, a hang-up, a pulled cable
};

// A program that opens the terminal and never flushes it is sent to after this.
constexpr qint64 kSettleMs = 1000;

// Where the bytes go: the master end of a pty with a link to its slave, a
// real serial device, or the program that connects to us as to a serial
// device server on the network (raw TCP).
class Output {
public:
    ~Output() { close(); }

    void openPty(const QString& linkPath, int baud) {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0)
            fail(QStringLiteral("cannot create a pseudo-terminal: %1").arg(QString::fromLocal8Bit(strerror(errno))));
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::cfsetspeed(&t, baud == 9600 ? B9600 : baud == 115200 ? B115200 : baud == 19200 ? B19200 : B2400);
        ::tcsetattr(slave, TCSANOW, &t);
        ::close(slave);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        // Packet mode tells us when the program flushes what it has not read yet,
        // as a serial port layer does right after opening.
        int on = 1;
        ::ioctl(master_, TIOCPKT, &on);
        slavePath_ = QString::fromLocal8Bit(name);
        const QFileInfo link(linkPath);
        if (link.exists() && !link.isSymLink())
            fail(QStringLiteral("%1 exists and is not a link").arg(linkPath));
        QFile::remove(linkPath);
        if (::symlink(name, QFile::encodeName(linkPath).constData()) != 0)
            fail(QStringLiteral("cannot create %1: %2").arg(linkPath, QString::fromLocal8Bit(strerror(errno))));
        linkPath_ = linkPath;
        std::fprintf(stderr, "timedisplay-sim: %s -> %s\n", qPrintable(linkPath), name);
    }

    void openDevice(const QString& path, int baud) {
        port_ = new QSerialPort(path);
        port_->setBaudRate(baud);
        if (!port_->open(QIODevice::ReadWrite))
            fail(QStringLiteral("cannot open %1: %2").arg(path, port_->errorString()));
        QObject::connect(port_, &QSerialPort::errorOccurred, port_, [this](QSerialPort::SerialPortError e) {
            // After a hang-up the port layer's own text names a stale error.
            if (e == QSerialPort::ResourceError || e == QSerialPort::WriteError || e == QSerialPort::ReadError)
                goneBecause(QStringLiteral("the device went away"));
        });
        devicePath_ = path;
    }

    // [host:]port; the host defaults to the loopback address, port 0 picks a free one.
    void openListen(const QString& given) {
        const qsizetype colon = given.lastIndexOf(u':');
        QString host = colon < 0 ? QStringLiteral("127.0.0.1") : given.left(colon);
        if (host.startsWith(u'[') && host.endsWith(u']'))
            host = host.mid(1, host.size() - 2);
        bool ok = false;
        const uint port = given.mid(colon + 1).toUInt(&ok);
        const QHostAddress address(host);
        if (!ok || port > 65535 || address.isNull())
            fail(QStringLiteral("bad --listen '%1': give [address:]port, as 127.0.0.1:4001").arg(given));
        server_ = new QTcpServer;
        if (!server_->listen(address, quint16(port)))
            fail(QStringLiteral("cannot listen on %1: %2").arg(given, server_->errorString()));
        const QString where = (address.protocol() == QAbstractSocket::IPv6Protocol ? '[' + host + ']' : host) +
                              QStringLiteral(":%1").arg(server_->serverPort());
        std::fprintf(stderr, "timedisplay-sim: listening on %s (COM tcp://%s)\n", qPrintable(where), qPrintable(where));
        std::fflush(stderr);
    }

    Line state() {
        if (!gone_.isEmpty())
            return Line::Gone;
        if (server_)
            return serverState();
        return port_ ? deviceState() : ptyState();
    }
    const QString& goneReason() const { return gone_; }

    // Writes what the line takes now; returns the bytes written.
    qsizetype write(const char* data, qsizetype n) {
        if (server_) {
            if (!client_ || client_->bytesToWrite() > 4096)
                return 0;
            const qint64 w = client_->write(data, n);
            return w > 0 ? w : 0;
        }
        if (port_) {
            if (port_->bytesToWrite() > 4096)
                return 0;
            const qint64 w = port_->write(data, n);
            return w > 0 ? w : 0;
        }
        const ssize_t w = ::write(master_, data, size_t(n));
        if (w < 0 && errno != EAGAIN && errno != EINTR)
            goneBecause(QString::fromLocal8Bit(std::strerror(errno)));
        return w > 0 ? w : 0;
    }

    // Bytes taken by write() that the port layer still holds.
    qint64 unwritten() const {
        if (client_)
            return client_->bytesToWrite();
        return port_ && port_->isOpen() ? port_->bytesToWrite() : 0;
    }

    // What the program has not read yet goes with the terminal: before it is
    // closed, wait (at most ms) until the program has read all of it or has
    // closed its end. The other end's unread bytes are counted on a second
    // descriptor of it that reads nothing.
    void drain(int ms) {
        if (master_ < 0 || slavePath_.isEmpty())
            return;
        pollfd p{master_, 0, 0};
        if (::poll(&p, 1, 0) < 0 || (p.revents & POLLHUP))
            return;  // no program has it open: nobody to wait for
        const int other = ::open(QFile::encodeName(slavePath_).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        if (other < 0)
            return;
        QElapsedTimer t;
        t.start();
        for (int empty = 0; empty < 2 && t.elapsed() < ms;) {
            int unread = 0;
            if (::ioctl(other, FIONREAD, &unread) != 0)
                break;
            empty = unread == 0 ? empty + 1 : 0;
            ::usleep(10000);
        }
        ::close(other);
    }

    void close() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
        // Remove the link only while it still names our terminal.
        if (!linkPath_.isEmpty() && QFileInfo(linkPath_).symLinkTarget() == slavePath_)
            QFile::remove(linkPath_);
        linkPath_.clear();
        delete port_;
        port_ = nullptr;
        delete client_;
        client_ = nullptr;
        delete server_;
        server_ = nullptr;
    }

private:
    void goneBecause(const QString& why) {
        if (gone_.isEmpty())
            gone_ = (devicePath_.isEmpty() ? slavePath_ : devicePath_) + QStringLiteral(": ") + why;
    }

    // Like a device server: one program at a time (a newer one takes the
    // line over), and none is no fault: the line waits for the next.
    Line serverState() {
        while (server_->hasPendingConnections()) {
            QTcpSocket* next = server_->nextPendingConnection();
            if (client_) {
                client_->abort();
                client_->deleteLater();
            }
            client_ = next;
            std::fprintf(stderr, "timedisplay-sim: %s:%u connected\n", qPrintable(next->peerAddress().toString()),
                         unsigned(next->peerPort()));
        }
        if (client_ && client_->state() != QAbstractSocket::ConnectedState) {
            std::fprintf(stderr, "timedisplay-sim: the program disconnected\n");
            client_->deleteLater();
            client_ = nullptr;
        }
        if (client_)
            client_->readAll();  // a device server's line is one way here
        return client_ ? Line::Listening : Line::Waiting;
    }

    // A device is there until it hangs up or fails; reading the hang-up here
    // also ends the port layer's endless notifications of it.
    Line deviceState() {
        pollfd p{port_->handle(), 0, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
            goneBecause(QStringLiteral("the device hung up"));
        return gone_.isEmpty() ? Line::Listening : Line::Gone;
    }

    // Our terminal listens once a program has its other end open and has
    // flushed it (what was written before that is discarded).
    Line ptyState() {
        pollfd p{master_, POLLIN | POLLPRI, 0};
        if (::poll(&p, 1, 0) < 0)
            return Line::Waiting;
        if (p.revents & (POLLERR | POLLNVAL)) {
            goneBecause(QStringLiteral("the pseudo-terminal failed"));
            return Line::Gone;
        }
        if (p.revents & POLLHUP) {  // no program has the other end open
            openFor_.invalidate();
            flushed_ = false;
            return Line::Waiting;
        }
        if (!openFor_.isValid())
            openFor_.start();
        if (p.revents & (POLLIN | POLLPRI)) {
            // One packet a read: a status byte, and after a zero status the program's data.
            char packet[512];
            ssize_t n;
            while ((n = ::read(master_, packet, sizeof packet)) > 0)
                if (packet[0] & TIOCPKT_FLUSHREAD)
                    flushed_ = true;
        }
        return flushed_ || openFor_.elapsed() >= kSettleMs ? Line::Listening : Line::Waiting;
    }

    int master_ = -1;
    QString slavePath_, linkPath_, devicePath_;
    QSerialPort* port_ = nullptr;
    QTcpServer* server_ = nullptr;
    QTcpSocket* client_ = nullptr;
    QString gone_;
    QElapsedTimer openFor_;  // since a program opened the other end
    bool flushed_ = false;
};

// The lines of a journal of received lines, timed from its first line; no
// value when the file is not a journal (then it is a capture, sent as it is).
std::optional<std::vector<sim::TimedLine>> readJournal(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    std::vector<sim::TimedLine> lines;
    QDateTime first;
    int number = 0;
    while (!f.atEnd()) {
        QByteArray text = f.readLine();
        ++number;
        if (text.endsWith('\n'))
            text.chop(1);
        if (text.isEmpty())
            continue;
        const auto e = journal::decode(text);
        if (!e) {
            if (lines.empty())
                return std::nullopt;
            fail(QStringLiteral("%1: line %2 is not a journal line").arg(path).arg(number));
        }
        if (lines.empty())
            first = e->at;
        // the original pace; a clock set back never sends a line early
        const int64_t at = std::max<int64_t>(first.msecsTo(e->at), lines.empty() ? 0 : lines.back().atMs);
        lines.push_back({at, e->line});
    }
    if (lines.empty())
        return std::nullopt;
    return lines;
}

class Simulator : public QObject {
public:
    Simulator(Output& out, int baud) : out_(out), bytesPerSecond_(std::max(1, baud / 10)) {
        connect(&tick_, &QTimer::timeout, this, [this] { step(); });
        tick_.setTimerType(Qt::PreciseTimer);
    }

    QString replayFile;
    int runners = 6;
    uint32_t seed = 1;
    int highestNumber = 30;
    int races = 1;  // 0: forever
    std::vector<sim::TimedLine> journalLines;  // a journal to replay at its pace

    void start() {
        clock_.start();
        if (!journalLines.empty()) {
            lines_ = journalLines;
            nextLine_ = 0;
            raceStart_ = clock_.elapsed();
            journal_ = true;
        } else if (!replayFile.isEmpty()) {
            replay_.setFileName(replayFile);
            if (!replay_.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "timedisplay-sim: cannot read %s\n", qPrintable(replayFile));
                failed_ = true;
                QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(2); });
                return;
            }
        } else {
            nextRace();
        }
        tick_.start(10);
    }

    qint64 sent() const { return sent_ - out_.unwritten(); }
    bool failed() const { return failed_; }
    bool lineGone() const { return gone_; }
    // Bytes meant for the line that it did not take: dropped, still queued, and
    // the rest of a replay.
    qint64 notSent() const {
        qint64 rest = 0;
        if (journal_) {
            for (size_t i = nextLine_; i < lines_.size(); ++i)
                rest += lines_[i].line.size() + 1;
        } else if (replay_.isOpen()) {
            rest = replay_.size() - replay_.pos();
        }
        return dropped_ + queue_.size() + out_.unwritten() + rest;
    }

private:
    void nextRace() {
        lines_ = sim::raceLines({runners, seed + uint32_t(raceIndex_), highestNumber});
        nextLine_ = 0;
        raceStart_ = clock_.elapsed();
        ++raceIndex_;
    }

    void enqueue(const QByteArray& bytes) {
        if (queue_.size() + bytes.size() > kMaxQueue) {
            dropped_ += bytes.size();
            return;
        }
        queue_ += bytes;
    }

    void step() {
        const Line line = out_.state();
        if (line == Line::Gone) {
            tick_.stop();
            gone_ = true;
            QCoreApplication::exit(3);
            return;
        }
        const qint64 wall = clock_.elapsed();
        const bool replaying = journal_ || replay_.isOpen();
        if (line == Line::Waiting && replaying) {
            // A replay waits for its program, its clock standing still, so no line is lost.
            if (pausedAt_ < 0)
                pausedAt_ = wall;
            return;
        }
        if (pausedAt_ >= 0) {
            pausedMs_ += wall - pausedAt_;
            pausedAt_ = -1;
        }
        const qint64 now = wall - pausedMs_;
        if (replay_.isOpen()) {
            // Keep the queue just ahead of the line.
            if (queue_.size() < bytesPerSecond_ / 10 + 64) {
                const QByteArray more = replay_.read(4096);
                if (!more.isEmpty()) {
                    queue_ += more;
                } else if (queue_.isEmpty()) {
                    if (races == 0) {
                        replay_.seek(0);
                    } else {
                        finish();
                        return;
                    }
                }
            }
        } else {
            const qint64 t = now - raceStart_;
            while (nextLine_ < lines_.size() && lines_[nextLine_].atMs <= t)
                enqueue(lines_[nextLine_++].line + '\r');
            if (journal_ && nextLine_ >= lines_.size() && queue_.isEmpty()) {
                if (races != 0) {
                    finish();
                    return;
                }
                nextLine_ = 0;  // --forever: from the start again
                raceStart_ = now;
            } else if (!journal_ && nextLine_ >= lines_.size() && t > lines_.back().atMs + 4000) {
                if (races == 0 || raceIndex_ < races)
                    nextRace();
                else if (queue_.isEmpty()) {
                    finish();
                    return;
                }
            }
        }
        // The line's own pace: baud / 10 bytes a second (8N1).
        const qint64 allowed = now * bytesPerSecond_ / 1000 - paced_;
        if (line == Line::Waiting) {
            // A race runs on with nobody listening: what it sends meanwhile is lost.
            dropped_ += queue_.size();
            queue_.clear();
        }
        if (queue_.isEmpty()) {
            paced_ = now * bytesPerSecond_ / 1000;  // an idle line saves no credit
            return;
        }
        const qsizetype n = out_.write(queue_.constData(), qMin<qsizetype>(queue_.size(), qMax<qint64>(allowed, 0)));
        queue_.remove(0, n);
        paced_ += n;
        sent_ += n;
    }

    void finish() {
        tick_.stop();
        QCoreApplication::quit();
    }

    Output& out_;
    qint64 bytesPerSecond_;
    QTimer tick_;
    QElapsedTimer clock_;
    QFile replay_;
    QByteArray queue_;
    std::vector<sim::TimedLine> lines_;
    size_t nextLine_ = 0;
    qint64 raceStart_ = 0;
    int raceIndex_ = 0;
    qint64 paced_ = 0, sent_ = 0, dropped_ = 0;
    qint64 pausedAt_ = -1, pausedMs_ = 0;  // a replay's clock stands while nobody listens
    bool failed_ = false;
    bool journal_ = false;
    bool gone_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("timedisplay-sim"));
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Sends the lines of a timing device to a serial line."));
    cli::addStandardOptions(p);
    const QCommandLineOption link(QStringLiteral("link"), QStringLiteral("Create a pseudo-terminal linked as PATH (DIR/COM<n>)."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption device(QStringLiteral("device"), QStringLiteral("Write to the serial device PATH."),
                                    QStringLiteral("PATH"));
    const QCommandLineOption baud(QStringLiteral("baud"), QStringLiteral("Line speed (default 9600)."),
                                  QStringLiteral("N"), QStringLiteral("9600"));
    const QCommandLineOption replay(QStringLiteral("replay"),
                                    QStringLiteral("Send FILE: a journal of received lines (journal-YYYY-MM-DD.txt) "
                                                   "at its original pace, anything else as captured, at the line speed. "
                                                   "With --link it starts once a program has opened the link and "
                                                   "pauses while none has it open."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption runners(QStringLiteral("runners"), QStringLiteral("Runners per race (default 6)."),
                                     QStringLiteral("N"), QStringLiteral("6"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Random seed (default 1)."),
                                  QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption numbers(QStringLiteral("numbers"),
                                     QStringLiteral("Highest start number (default 30, the demo table's runners)."),
                                     QStringLiteral("N"), QStringLiteral("30"));
    const QCommandLineOption races(QStringLiteral("races"), QStringLiteral("Races to run (default 1)."),
                                   QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption foreverOpt(QStringLiteral("forever"), QStringLiteral("Run races (or the replay) until stopped."));
    const QCommandLineOption listen(QStringLiteral("listen"),
                                    QStringLiteral("Act as a serial device server: take one program's TCP connection "
                                                   "on [ADDRESS:]PORT (address 127.0.0.1 unless given; port 0 picks "
                                                   "a free one, printed)."),
                                    QStringLiteral("[ADDRESS:]PORT"));
    p.addOptions({link, device, listen, baud, replay, runners, seed, numbers, races, foreverOpt});
    const cli::Outcome parsed = cli::check(p, app.arguments(), QStringLiteral("timedisplay-sim"), QStringLiteral(TD_VERSION));
    if (cli::print(parsed))
        return parsed.code;
    if (!p.positionalArguments().isEmpty())
        fail(QStringLiteral("unexpected argument '%1'").arg(p.positionalArguments().first()));

    if (int(p.isSet(link)) + int(p.isSet(device)) + int(p.isSet(listen)) != 1)
        fail(QStringLiteral("give exactly one of --link, --device and --listen"));
    bool ok = false;
    const int rate = p.value(baud).toInt(&ok);
    if (!ok || rate < 50 || rate > 4000000)
        fail(QStringLiteral("bad --baud"));
    const int runnerCount = p.value(runners).toInt(&ok);
    if (!ok || runnerCount < 1 || runnerCount > 99)
        fail(QStringLiteral("--runners must be 1..99"));
    const uint seedValue = p.value(seed).toUInt(&ok);
    if (!ok)
        fail(QStringLiteral("bad --seed"));
    const int highest = p.value(numbers).toInt(&ok);
    if (!ok || highest < 1 || highest > 999)
        fail(QStringLiteral("--numbers must be 1..999"));
    const int raceCount = p.value(races).toInt(&ok);
    if (!ok || raceCount < 1)
        fail(QStringLiteral("--races must be 1 or more"));

    // Everything that can fail is checked before the link exists.
    if (p.isSet(replay) && !QFileInfo(p.value(replay)).isReadable())
        fail(QStringLiteral("cannot read %1").arg(p.value(replay)));

    std::vector<sim::TimedLine> journalLines;
    if (p.isSet(replay)) {
        if (auto lines = readJournal(p.value(replay)))
            journalLines = std::move(*lines);
    }

    Output out;
    if (p.isSet(link))
        out.openPty(p.value(link), rate);
    else if (p.isSet(listen))
        out.openListen(p.value(listen));
    else
        out.openDevice(p.value(device), rate);

    Simulator s(out, rate);
    s.replayFile = p.value(replay);
    s.journalLines = std::move(journalLines);
    s.runners = runnerCount;
    s.seed = seedValue;
    s.highestNumber = highest;
    s.races = p.isSet(foreverOpt) ? 0 : raceCount;
    installQuitSignals([] { QCoreApplication::quit(); });
    s.start();
    const int code = app.exec();
    const long long sent = s.sent(), notSent = s.notSent();
    if (!s.lineGone())
        out.drain(5000);
    out.close();
    if (s.lineGone()) {
        std::fprintf(stderr, "timedisplay-sim: the line went away (%s): %lld bytes sent, %lld not sent\n",
                     qPrintable(out.goneReason()), sent, notSent);
        return 3;
    }
    std::fprintf(stderr, "timedisplay-sim: %lld bytes sent, %lld not sent\n", sent, notSent);
    return s.failed() ? code : 0;
}
