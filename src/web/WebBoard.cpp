#include "web/WebBoard.h"

#include "common/EpollDispatcher.h"
#include "display/BoardModel.h"
#include "web/WebServer.h"

#include <QMetaObject>
#include <sys/resource.h>

namespace {
// A thousand idle connections need a thousand descriptors beside the program's own.
void raiseDescriptorLimit() {
    rlimit l{};
    if (getrlimit(RLIMIT_NOFILE, &l) != 0)
        return;
    const rlim_t wanted = rlim_t(WebServer::kMaxConnections) + 512;
    if (l.rlim_cur < wanted) {
        l.rlim_cur = l.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, l.rlim_max);
        setrlimit(RLIMIT_NOFILE, &l);
    }
}
} // namespace

std::unique_ptr<WebBoard> WebBoard::start(BoardModel& model, const QHostAddress& address, quint16 port,
                                          QString* error) {
    raiseDescriptorLimit();
    std::unique_ptr<WebBoard> w(new WebBoard);
    w->thread_.setObjectName(QStringLiteral("web board"));
#ifdef TD_HAVE_EPOLL_DISPATCHER
    // Hundreds of connections: a wake-up must not look at each of them.
    if (EpollDispatcher* d = EpollDispatcher::create())
        w->thread_.setEventDispatcher(d);
#endif
    w->thread_.start();
    w->context_ = new QObject;
    w->context_->moveToThread(&w->thread_);
    bool ok = false;
    QString reason;
    const board::Snapshot first = model.snapshot();
    WebBoard* self = w.get();
    // Made on its own thread, so every object of the server lives there. The
    // board waits only for the bind, once, at start-up.
    QMetaObject::invokeMethod(
        w->context_,
        [&] {
            auto* s = new WebServer;
            if (s->start(address, port, &reason)) {
                s->setState(first);
                self->server_ = s;
                self->port_ = s->port();
                ok = true;
            } else {
                delete s;
            }
        },
        Qt::BlockingQueuedConnection);
    if (!ok) {
        if (error)
            *error = reason;
        return nullptr;  // the destructor stops the thread
    }
    w->address_ = address;
    w->model_ = &model;
    model.addObserver(w.get());
    return w;
}

WebBoard::~WebBoard() {
    if (model_)
        model_->removeObserver(this);
    if (thread_.isRunning()) {
        WebServer* s = server_;
        QObject* c = context_;
        QMetaObject::invokeMethod(
            c, [s, c] {
                delete s;
                delete c;
            },
            Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
}

QString WebBoard::url() const {
    QString host = address_.toString();
    if (address_.protocol() == QAbstractSocket::IPv6Protocol)
        host = '[' + host + ']';
    return QStringLiteral("http://%1:%2/").arg(host).arg(port_);
}

void WebBoard::boardChanged(const board::Snapshot& state) {
    server_->offer(state);
}
