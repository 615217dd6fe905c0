#include "mqtt/MqttBoard.h"

#include "common/Dialogs.h"
#include "board/BoardCore.h"
#include "display/BoardHost.h"
#include "display/BoardModel.h"
#include "mqtt/MqttLink.h"
#include "mqtt/MqttPublisher.h"

#include <QTimer>
#include <cstdio>

namespace {
const QString kNoticeKey = QStringLiteral("mqtt");
}

std::unique_ptr<MqttBoard> MqttBoard::start(BoardHost& d, const std::optional<MqttTarget>& fromCommandLine) {
    MqttTarget t;
    if (fromCommandLine) {
        t = *fromCommandLine;
    } else {
        const BoardHost::OutputSettings s = d.outputSettings();
        if (s.mqttHost.trimmed().isEmpty()) {
            d.setMqttStatus({});
            return nullptr;  // switched off
        }
        t.host = s.mqttHost.trimmed();
        t.port = s.mqttPort;
        t.user = s.mqttUser;
        t.password = s.mqttPassword;
        t.prefix = s.mqttTopic;
    }
    if (const QString fault = mqtturl::prefixFault(t.prefix); !fault.isEmpty()) {
        const QString text = QStringLiteral("The board is not published on the MQTT broker: %1.").arg(fault);
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::fflush(stderr);
        Dialogs::current().notice(d.noticeParent(), kNoticeKey, text);
        d.setMqttStatus(QStringLiteral("MQTT: off - ") + fault);
        return nullptr;
    }
    std::unique_ptr<MqttBoard> b(new MqttBoard(d, d.noticeParent(), t));
    std::printf("mqtt: %s\n", qPrintable(t.display()));
    std::fflush(stdout);
    return b;
}

MqttBoard::MqttBoard(BoardHost& d, QObject* window, const MqttTarget& target)
    : host_(&d), window_(window), model_(d.boardModel()), publisher_(std::make_unique<MqttPublisher>(target)) {
    MqttLink& link = publisher_->link();
    // From the link's thread; shown on the board's.
    connect(&link, &MqttLink::stateChanged, this,
            [this](MqttLink::State s, const QString& why) { show(int(s), why); }, Qt::QueuedConnection);
    keptTimer_ = new QTimer(this);
    keptTimer_->setInterval(1000);
    connect(keptTimer_, &QTimer::timeout, this, [this] { showKept(); });
    show(int(link.state()), link.why());
    publisher_->boardChanged(model_->snapshot());
    model_->addObserver(publisher_.get());
    d.core().setRaceListener(publisher_.get());
}

MqttBoard::~MqttBoard() {
    if (model_)
        model_->removeObserver(publisher_.get());
    if (window_) {
        host_->core().setRaceListener(nullptr);
        host_->setMqttStatus({});
    }
    Dialogs::current().withdrawNotice(kNoticeKey);
    publisher_.reset();
}

void MqttBoard::show(int state, const QString& why) {
    if (!window_)
        return;
    const MqttTarget& t = publisher_->target();
    switch (MqttLink::State(state)) {
    case MqttLink::State::Connecting:
        keptTimer_->stop();
        host_->setMqttStatus(where() + QStringLiteral(": connecting"));
        break;
    case MqttLink::State::Connected:
        keptTimer_->stop();
        host_->setMqttStatus(where() + QStringLiteral(": connected"));
        if (down_)
            Dialogs::current().withdrawNotice(kNoticeKey);
        down_ = false;
        break;
    case MqttLink::State::Down:
        showKept();
        keptTimer_->start();
        if (!down_) {
            QString reason = why.trimmed();
            while (reason.endsWith(u'.'))
                reason.chop(1);  // the library's texts end with one; the notice goes on
            Dialogs::current().notice(host_->noticeParent(), kNoticeKey,
                                      QStringLiteral("No connection to the MQTT broker %1:%2: %3. The board runs on; "
                                                     "lines and results are kept and sent when it is back.")
                                          .arg(t.host)
                                          .arg(t.port)
                                          .arg(reason.isEmpty() ? QStringLiteral("no answer") : reason));
        }
        down_ = true;
        break;
    }
}

QString MqttBoard::where() const {
    // Short: the status line is narrow; the notice says why.
    const MqttTarget& t = publisher_->target();
    const QString host = t.host.contains(u':') ? '[' + t.host + ']' : t.host;
    return QStringLiteral("MQTT %1:%2").arg(host).arg(t.port);
}

void MqttBoard::showKept() {
    if (!window_)
        return;
    QString text = where() + QStringLiteral(": not connected");
    if (const size_t kept = publisher_->link().waiting())
        text += QStringLiteral(", %1 kept").arg(kept);
    if (const uint64_t dropped = publisher_->link().dropped())
        text += QStringLiteral(", %1 dropped").arg(dropped);
    host_->setMqttStatus(text);
}
