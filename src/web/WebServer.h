#pragma once
#include "common/NewestHandOff.h"
#include "display/BoardState.h"
#include "web/BoardJson.h"
#include "web/FontFiles.h"
#include "web/Wire.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QPointer>
#include <QTimer>
#include <array>
#include <memory>
#include <vector>

class QTcpSocket;
class WebListener;

// The web board's server: the page, the state as JSON, the pictures and
// fonts, and the live WebSocket. Lives on a thread of its own; takes board
// snapshots and never writes back.
class WebServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    // Limits that keep a hostile or broken client from costing more than this.
    static constexpr qsizetype kMaxRequestLine = 4096;      // method, URL, version: else 414
    static constexpr qsizetype kMaxHead = 16 * 1024;        // request line and headers: else 431
    static constexpr qsizetype kMaxBody = 16 * 1024;        // a request's body: else 413
    static constexpr int kMaxConnections = 2000;            // HTTP and WebSocket together
    static constexpr int kMaxPerAddress = kMaxConnections / 8;  // connections one address may hold
    static constexpr int kRequestMs = 10000;                // a request complete, from the connection's start
    static constexpr int kIdleMs = 15000;                   // a reply nobody takes
    static constexpr int kLingerMs = 2000;                  // a refused client's rest is read and dropped
    static constexpr qint64 kMaxBacklog = 64 * 1024;        // unsent bytes before a client is skipped
    static constexpr int kMaxFramesPerSecond = 5;           // a WebSocket client has nothing to say
    static constexpr qint64 kMaxClientFrame = 4096;         // nor anything long
    static constexpr int kPenaltyMs = 10000;                // an address that broke these is refused so long
    static constexpr qint64 kMinIntervalNs = 1000000000 / 60;  // at most 60 messages a second
    static constexpr int kStalledRetryMs = 100;             // a skipped client is looked at again

    explicit WebServer(QObject* parent = nullptr);
    ~WebServer() override;

    // Binds; false with a reason when the address or port cannot be had.
    bool start(const QHostAddress& address, quint16 port, QString* error);
    quint16 port() const;

    // A new board state (on this server's thread).
    void setState(const board::Snapshot& state);
    // A new board state from any thread. Only the newest waiting state is
    // kept, and the server's thread is woken only when no flush that will
    // take it is already due: the board's thread never waits here beyond a
    // pointer swap.
    void offer(const board::Snapshot& state);

    int clientCount() const { return int(clients_.size()); }
    // Connections open, HTTP and WebSocket.
    int connectionCount() const;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    friend class WebListener;
    struct Client {
        QPointer<QTcpSocket> tcp;
        wire::FrameReader reader{kMaxClientFrame};
        quint64 sent = 0;      // revision the client has
        qint64 lastSendNs = -kMinIntervalNs;
        qint64 windowStartMs = 0;  // frames the client sent in the current second
        int framesInWindow = 0;
        bool closing = false;
    };
    // A connection whose upgrade to WebSocket on /live was accepted; `rest`
    // came after its request.
    void adopt(QTcpSocket* tcp, const QByteArray& rest);
    void readClient(Client* c);
    void feedClient(Client& c, const QByteArray& bytes);
    void takeFrame(Client& c, const wire::FrameReader::Frame& f);
    void closeClient(Client& c, int code);
    // Sends every client that lacks the newest state what it lacks; all
    // clients at once, at most 60 times a second.
    void flush();
    void scheduleFlush();
    void armFlushTimer(int ms);
    void flushTimerFired();
    void takeOffered();
    bool absorb(const board::Snapshot& state);
    void write(Client& c, const QByteArray& frame);
    qint64 backlog(const Client& c) const;
    void drop(Client* c);
    QByteArray page() const;
    void reply(QTcpSocket* socket, const QHttpServerRequest& request, int status, const QByteArray& type,
               const QByteArray& body, const QByteArray& cache = "no-store");

    WebListener* listener_ = nullptr;
    FontFiles fonts_;
    BoardJson json_{fonts_};
    std::array<QByteArray, 3> png_;            // Logo1..Logo3, encoded once per picture
    std::array<quint64, 3> pngSerial_{~0ull, ~0ull, ~0ull};
    std::vector<std::unique_ptr<Client>> clients_;
    QElapsedTimer clock_;
    QTimer flushTimer_;
    qint64 lastFlushNs_ = -kMinIntervalNs;
    QHash<quint64, QByteArray> frames_;  // by the revision a client has, for the newest state
    QByteArray fullFrame_;               // the whole newest state, for clients that come

    // The newest offered state; the flush timer, when it runs for the next
    // round, takes it, else a queued takeOffered().
    NewestHandOff<board::Snapshot> offered_;
};
