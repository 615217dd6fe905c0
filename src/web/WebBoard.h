#pragma once
#include "display/BoardState.h"

#include <QHostAddress>
#include <QPointer>
#include <QString>
#include <QThread>
#include <memory>

class BoardModel;
class WebServer;

// The live board on the web: a WebServer on a thread of its own, fed with
// the board's snapshots. Made and destroyed on the board's thread; handing a
// snapshot over only posts it, so the board never waits for the web.
class WebBoard : public board::Observer {
public:
    ~WebBoard() override;

    // Listens on address:port (0: any free port). nullptr with a reason when
    // that fails; the board goes on without.
    static std::unique_ptr<WebBoard> start(BoardModel& model, const QHostAddress& address, quint16 port,
                                           QString* error);

    quint16 port() const { return port_; }
    QHostAddress address() const { return address_; }
    // http://ADDR:PORT/
    QString url() const;

    void boardChanged(const board::Snapshot& state) override;

private:
    WebBoard() = default;

    QThread thread_;
    QObject* context_ = nullptr;   // lives on thread_
    WebServer* server_ = nullptr;  // lives on thread_
    QPointer<BoardModel> model_;
    QHostAddress address_;
    quint16 port_ = 0;
};
