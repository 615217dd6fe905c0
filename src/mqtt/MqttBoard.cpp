#include "mqtt/MqttBoard.h"

#include "common/Dialogs.h"
#include "console/Disp.h"
#include "display/BoardModel.h"
#include "mqtt/MqttLink.h"
#include "mqtt/MqttPublisher.h"

#include <cstdio>

namespace {
const QString kNoticeKey = QStringLiteral("mqtt");
}

std::unique_ptr<MqttBoard> MqttBoard::start(Tdisplay& d, const std::optional<MqttTarget>& fromCommandLine) {
    MqttTarget t;
    if (fromCommandLine) {
        t = *fromCommandLine;
    } else {
        if (d.MqttHost.trimmed().isEmpty()) {
            d.setMqttStatus({});
            return nullptr;  // switched off
        }
        t.host = d.MqttHost.trimmed();
        t.port = d.MqttPort;
        t.user = d.MqttUser;
        t.password = d.MqttPassword;
        t.prefix = d.MqttTopic;
    }
    if (const QString fault = mqtturl::prefixFault(t.prefix); !fault.isEmpty()) {
        const QString text = QStringLiteral("The board is not published on the MQTT broker: %1.").arg(fault);
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::fflush(stderr);
        Dialogs::current().notice(&d, kNoticeKey, text);
        d.setMqttStatus(QStringLiteral("MQTT: off - ") + fault);
        return nullptr;
    }
    std::unique_ptr<MqttBoard> b(new MqttBoard(d, t));
    std::printf("mqtt: %s\n", qPrintable(t.display()));
    std::fflush(stdout);
    return b;
}

MqttBoard::MqttBoard(Tdisplay& d, const MqttTarget& target)
    : display_(&d), model_(d.boardModel()), publisher_(std::make_unique<MqttPublisher>(target)) {
    MqttLink& link = publisher_->link();
    // From the link's thread; shown on the board's.
    connect(&link, &MqttLink::stateChanged, this,
            [this](MqttLink::State s, const QString& why) { show(int(s), why); }, Qt::QueuedConnection);
    show(int(link.state()), link.why());
    publisher_->boardChanged(model_->snapshot());
    model_->addObserver(publisher_.get());
    d.setRaceListener(publisher_.get());
}

MqttBoard::~MqttBoard() {
    if (model_)
        model_->removeObserver(publisher_.get());
    if (display_) {
        display_->setRaceListener(nullptr);
        display_->setMqttStatus({});
    }
    Dialogs::current().withdrawNotice(kNoticeKey);
    publisher_.reset();
}

void MqttBoard::show(int state, const QString& why) {
    if (!display_)
        return;
    const MqttTarget& t = publisher_->target();
    const QString where = QStringLiteral("MQTT %1").arg(t.display());
    switch (MqttLink::State(state)) {
    case MqttLink::State::Connecting:
        display_->setMqttStatus(where + QStringLiteral(": connecting"));
        break;
    case MqttLink::State::Connected:
        display_->setMqttStatus(where + QStringLiteral(": connected"));
        if (down_)
            Dialogs::current().withdrawNotice(kNoticeKey);
        down_ = false;
        break;
    case MqttLink::State::Down:
        display_->setMqttStatus(where + QStringLiteral(": broker not reachable (%1) - trying again").arg(why));
        if (!down_)
            Dialogs::current().notice(display_, kNoticeKey,
                                      QStringLiteral("The MQTT broker %1:%2 is not reachable: %3. The board runs on; "
                                                     "lines and results are kept and sent when it is back.")
                                          .arg(t.host)
                                          .arg(t.port)
                                          .arg(why));
        down_ = true;
        break;
    }
}
