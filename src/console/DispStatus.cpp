// The status line at the bottom of the setup panel: the port and its state,
// the lines received, where the time table stands on disk, the web board,
// the MQTT broker.
#include "console/Disp.h"

#include "serial/PortError.h"
#include "serial/WComThread.h"
#include "timetable/Control.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QTimer>

namespace {

QLabel* part(QWidget* parent, const char* name, int stretch, QHBoxLayout* layout) {
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->addWidget(l, stretch);
    return l;
}

void setText(QWidget* line, const char* name, const QString& text) {
    auto* l = line->findChild<QLabel*>(QLatin1String(name));
    if (l->text() != text) {
        l->setText(text);
        l->setToolTip(text);
    }
}

QString ago(qint64 ms) {
    const qint64 s = ms / 1000;
    if (s < 60)
        return QStringLiteral("%1 s ago").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min ago").arg(s / 60);
    return QStringLiteral("%1 h ago").arg(s / 3600);
}

} // namespace

void Tdisplay::createStatusLine() {
    StatusLine = new QWidget(canvas);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    StatusLine->setGeometry(122, 722, 670, 34);
    auto* layout = new QHBoxLayout(StatusLine);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    part(StatusLine, "StatusPort", 3, layout);
    part(StatusLine, "StatusLines", 2, layout);
    part(StatusLine, "StatusTable", 2, layout);
    part(StatusLine, "StatusWeb", 2, layout)->setVisible(false);
    part(StatusLine, "StatusMqtt", 2, layout)->setVisible(false);

    // Once a second, only while the setup panel shows: a few compares and
    // no I/O.
    statusTimer_ = new QTimer(this);
    statusTimer_->setInterval(1000);
    connect(statusTimer_, &QTimer::timeout, this, [this] {
        if (!Anzeigemodus)
            updateStatusLine();
    });
    statusTimer_->start();
    updateStatusLine();
}

void Tdisplay::updateStatusLine() {
    if (!StatusLine || !ComThread1)
        return;
    const TWComThread& com = *ComThread1;

    QString port;
    if (COM->currentIndex() <= 0) {
        port = QStringLiteral("Port: none - choose the timing device's port in the list");
    } else {
        const QString name = QStringLiteral("COM%1").arg(com.Port());
        const QString device = com.SystemLocation().isEmpty() ? comDevicePath(com.Port()) : com.SystemLocation();
        const QString which = device.isEmpty() ? name : name + QStringLiteral(" (") + device + ')';
        const PortFault fault = portFaultOf(com.LastErrorCode());
        if (com.ok())
            port = which + QStringLiteral(": open at ") + com.LineText();
        else if (fault == PortFault::Absent || (fault == PortFault::None && com.Reconnecting()))
            port = which + QStringLiteral(": waiting for the device - plug it in");
        else
            port = com.LastErrorWords();
    }
    setText(StatusLine, "StatusPort", port);

    const qint64 since = msSinceLastLine();
    setText(StatusLine, "StatusLines",
            linesReceived_ == 0 ? QStringLiteral("no lines received")
                                : QStringLiteral("%1 %2 received, last %3")
                                      .arg(linesReceived_)
                                      .arg(linesReceived_ == 1 ? QStringLiteral("line") : QStringLiteral("lines"))
                                      .arg(ago(since)));

    QString table = QStringLiteral("time table: not loaded");
    if (TimeControl) {
        // Connected at the first look, as the time table window is made
        // after the main window.
        if (statusTableSource_ != TimeControl) {
            statusTableSource_ = TimeControl;
            connect(TimeControl, &TTimeControl::saveStatusChanged, this, [this] { updateStatusLine(); });
        }
        const SaveStatus& st = TimeControl->saveStatus();
        switch (st.state) {
        case SaveStatus::Unchanged: table = QStringLiteral("time table: no change since it was loaded"); break;
        case SaveStatus::Saved:
            table = QStringLiteral("time table saved at ") + st.savedAt.toString(QStringLiteral("HH:mm:ss"));
            break;
        case SaveStatus::Failed:
            table = QStringLiteral("time table not saved: ") + (st.reason.isEmpty() ? QStringLiteral("unknown reason") : st.reason);
            break;
        }
    }
    setText(StatusLine, "StatusTable", table);

    auto* web = StatusLine->findChild<QLabel*>(QStringLiteral("StatusWeb"));
    setText(StatusLine, "StatusWeb", webAddress_.isEmpty() ? QString() : QStringLiteral("web board: ") + webAddress_);
    web->setVisible(!webAddress_.isEmpty());

    setText(StatusLine, "StatusMqtt", mqttStatus_);
    StatusLine->findChild<QLabel*>(QStringLiteral("StatusMqtt"))->setVisible(!mqttStatus_.isEmpty());
}

void Tdisplay::setWebAddress(const QString& address) {
    webAddress_ = address;
    updateStatusLine();
}

void Tdisplay::setMqttStatus(const QString& text) {
    mqttStatus_ = text;
    updateStatusLine();
}
