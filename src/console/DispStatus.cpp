// The status line at the bottom of the setup panel: the port and its state,
// the lines received, where the time table stands on disk, the web board,
// the MQTT broker.
#include "console/Disp.h"

#include "common/Dialogs.h"
#include "input/TcpInput.h"
#include "serial/PortError.h"
#include "serial/WComThread.h"
#include "timetable/Control.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QPointer>
#include <QTimer>

namespace {

// One part of the status line: one line, never wrapped. A part that may
// give way shows as much of its text as fits and ends it with "…"; its
// whole text is its tooltip.
class StatusPart : public QLabel {
public:
    StatusPart(QWidget* parent, bool givesWay) : QLabel(parent), givesWay_(givesWay) {
        setTextFormat(Qt::PlainText);
        setWordWrap(false);
        setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        setSizePolicy(givesWay ? QSizePolicy::Preferred : QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QSize minimumSizeHint() const override {
        QSize s = QLabel::minimumSizeHint();
        if (givesWay_)
            s.setWidth(std::min(s.width(), fontMetrics().horizontalAdvance(QStringLiteral("Mmm…"))));
        return s;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRect r = contentsRect();
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, r.width());
        style()->drawItemText(&p, r, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
    }

private:
    bool givesWay_;
};

QLabel* part(QWidget* parent, const char* name, bool givesWay, int stretch, QHBoxLayout* layout) {
    auto* l = new StatusPart(parent, givesWay);
    l->setObjectName(QLatin1String(name));
    layout->addWidget(l, stretch);
    return l;
}

void setText(QWidget* line, const char* name, const QString& text, const QString& tip = QString()) {
    auto* l = line->findChild<QLabel*>(QLatin1String(name));
    if (l->text() != text) {
        l->setText(text);
        l->updateGeometry();
    }
    const QString t = tip.isEmpty() ? text : tip;
    if (l->toolTip() != t)
        l->setToolTip(t);
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
    // A bar of its own under the scrolled panel: whatever the size of the
    // window and wherever the elements are placed, it covers none of them.
    StatusLine = new QWidget(this);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    StatusLine->setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(StatusLine);
    layout->setContentsMargins(8, 3, 8, 3);
    layout->setSpacing(16);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    QLabel* notice = part(StatusLine, "StatusNotice", false, 0, layout);
    notice->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold"));
    notice->setVisible(false);
    part(StatusLine, "StatusPort", true, 3, layout);
    part(StatusLine, "StatusLines", false, 0, layout);
    part(StatusLine, "StatusTable", true, 2, layout);
    part(StatusLine, "StatusWeb", true, 2, layout)->setVisible(false);
    part(StatusLine, "StatusMqtt", true, 2, layout)->setVisible(false);
    StatusLine->setFixedHeight(StatusLine->fontMetrics().height() + 6);
    StatusLine->setMinimumWidth(1);  // a narrow window shortens the parts, it is not held wide
    this->layout()->setSpacing(0);
    static_cast<QBoxLayout*>(this->layout())->addWidget(StatusLine);

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
    if (NetInput) {
        port = Input::describe(NetInput->state());
    } else if (COM->currentIndex() <= 0) {
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

    const int lineHeight = StatusLine->fontMetrics().height() + 6;  // the language file may change the font
    if (StatusLine->height() != lineHeight)
        StatusLine->setFixedHeight(lineHeight);

    const int waiting = Dialogs::current().pendingNotices();
    setText(StatusLine, "StatusNotice",
            waiting == 0 ? QString()
                         : waiting == 1 ? QStringLiteral("1 notice waiting")
                                        : QStringLiteral("%1 notices waiting").arg(waiting),
            Dialogs::current().noticesHeld() ? QStringLiteral("Shown when the setup panel comes back")
                                             : QStringLiteral("Read it and press OK"));
    StatusLine->findChild<QLabel*>(QStringLiteral("StatusNotice"))->setVisible(waiting > 0);

    QString table = QStringLiteral("time table: not loaded"), tableTip;
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
        case SaveStatus::NotLoaded:
            table = QStringLiteral("no time table loaded");
            tableTip = st.reason;
            break;
        case SaveStatus::Failed:
            table = QStringLiteral("time table not saved: ") + (st.reason.isEmpty() ? QStringLiteral("unknown reason") : st.reason);
            break;
        }
    }
    setText(StatusLine, "StatusTable", table, tableTip);

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
