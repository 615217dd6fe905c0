#include "web/WebStart.h"

#include "common/Dialogs.h"
#include "display/BoardHost.h"
#include "display/BoardModel.h"
#include "web/WebBoard.h"

#include <QHostAddress>
#include <cstdio>

namespace {

const QString kNoticeKey = QStringLiteral("web board");

void fail(BoardHost& d, const QString& why) {
    const QString text = QStringLiteral("Web board not started: %1. The board runs on without it.").arg(why);
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
    Dialogs::current().notice(d.noticeParent(), kNoticeKey, text);
}

} // namespace

std::unique_ptr<WebBoard> startWebBoard(BoardHost& d, const std::optional<QString>& portText,
                                        const std::optional<QString>& listenText) {
    const BoardHost::OutputSettings settings = d.outputSettings();
    int port = settings.webPort;
    if (portText) {
        const QString p = portText->trimmed();
        bool ok = false;
        port = p.compare(QLatin1String("any"), Qt::CaseInsensitive) == 0 ? -1 : p.toInt(&ok);
        if (port != -1 && (!ok || port < 0 || port > 65535)) {
            fail(d, QStringLiteral("\"%1\" is no port (a number up to 65535, 0 for off, or any)").arg(p));
            return nullptr;
        }
    }
    if (port == 0)
        return nullptr;  // switched off

    const QString listen = (listenText ? *listenText : settings.webListen).trimmed();
    QHostAddress address;
    if (listen.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        address = QHostAddress(QHostAddress::LocalHost);
    else if (listen.compare(QLatin1String("any"), Qt::CaseInsensitive) == 0)
        address = QHostAddress(QHostAddress::AnyIPv4);
    else if (!address.setAddress(listen)) {
        fail(d, QStringLiteral("\"%1\" is no IP address").arg(listen));
        return nullptr;
    }

    QString error;
    auto web = WebBoard::start(*d.boardModel(), address, quint16(port < 0 ? 0 : port), &error);
    if (!web) {
        fail(d, QStringLiteral("%1 port %2: %3")
                    .arg(address.toString(), port < 0 ? QStringLiteral("any") : QString::number(port), error));
        return nullptr;
    }
    Dialogs::current().withdrawNotice(kNoticeKey);
    d.setWebAddress(web->url());
    std::printf("web board: %s\n", qPrintable(web->url()));
    std::fflush(stdout);
    return web;
}
