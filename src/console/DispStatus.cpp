// The status line at the bottom of the setup panel: the port and its state
// (or the board a follower follows),
// the lines received, where the time table stands on disk, the web board,
// the MQTT broker.
#include "console/Disp.h"

#include "common/Dialogs.h"
#include "input/TcpInput.h"
#include "serial/PortError.h"
#include "serial/WComThread.h"
#include "timetable/Control.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

namespace {

// One part of the status line: one line, never wrapped. A part that may
// give way shows as much of its text as fits and ends it with "…"; its
// whole text is its tooltip. A part that reads "<where>: <state>" (the port,
// the board followed, the broker) gives way in its where first, down to the
// where's first word, then in the state: "MQTT…: not connected" tells the
// operator more than the address does. What it shows is its "shown"
// property.
class StatusPart : public QLabel {
public:
    enum Give { Never, AtTheEnd, WhereFirst };
    StatusPart(QWidget* parent, Give give) : QLabel(parent), give_(give) {
        setTextFormat(Qt::PlainText);
        setWordWrap(false);
        setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        setSizePolicy(give != Never ? QSizePolicy::Preferred : QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QSize minimumSizeHint() const override {
        QSize s = QLabel::minimumSizeHint();
        if (give_ == Never)
            return s;
        const QFontMetrics fm = fontMetrics();
        int least = fm.horizontalAdvance(QStringLiteral("Mmm…"));
        if (const qsizetype split = whereEnds(); split > 0) {
            // What the where keeps and the state's first word ("connected",
            // "not", "open") with "…": little enough that the parts that
            // never give way keep their room.
            const QString state = text().mid(split);
            const QString head = state.left(state.indexOf(u' ', 2));
            least = fm.horizontalAdvance(kept(text().left(split))) +
                    fm.horizontalAdvance(head == state ? head : head + QStringLiteral("…")) +
                    fm.horizontalAdvance(u'M');  // elidedText asks a letter more
        }
        s.setWidth(std::min(s.width(), least + contentsMargins().left() + contentsMargins().right()));
        return s;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRect r = contentsRect();
        const QString shown = fitted(r.width());
        if (property("shown").toString() != shown)
            setProperty("shown", shown);
        style()->drawItemText(&p, r, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
    }

private:
    qsizetype whereEnds() const { return give_ == WhereFirst ? text().indexOf(QLatin1String(": ")) : -1; }
    // The least of a where: its first word ("COM1", "MQTT", "following").
    static QString kept(const QString& where) {
        const qsizetype space = where.indexOf(u' ');
        return space < 0 ? where : where.left(space) + QStringLiteral("…");
    }

    QString fitted(int width) const {
        const QFontMetrics fm = fontMetrics();
        const QString all = text();
        const qsizetype split = whereEnds();
        if (split <= 0 || fm.horizontalAdvance(all) <= width)
            return fm.elidedText(all, Qt::ElideRight, width);
        const QString where = all.left(split), state = all.mid(split);
        const int room = width - fm.horizontalAdvance(state);
        if (room > fm.horizontalAdvance(kept(where)))
            return fm.elidedText(where, Qt::ElideRight, room) + state;
        const QString least = kept(where);
        return least + fm.elidedText(state, Qt::ElideRight, width - fm.horizontalAdvance(least));
    }

    Give give_;
};

QLabel* part(QWidget* parent, const char* name, StatusPart::Give give, int stretch, QHBoxLayout* layout) {
    auto* l = new StatusPart(parent, give);
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

// The panel's horizontal scroll bar, whose row also holds the status line:
// at least as high as one line of the line's font.
class StatusRowScrollBar : public QScrollBar {
public:
    StatusRowScrollBar(QWidget* line) : QScrollBar(Qt::Horizontal), line_(line) {}
    QSize sizeHint() const override {
        QSize s = QScrollBar::sizeHint();
        if (line_)
            s.setHeight(std::max(s.height(), line_->fontMetrics().height() + 2));
        return s;
    }

private:
    QPointer<QWidget> line_;
};

} // namespace

void Tdisplay::createStatusLine() {
    // The strip shares the row of the panel's horizontal scroll bar, left of
    // it (as sheet tabs do in a spreadsheet): the panel keeps its whole
    // height, so at the design size its bottom row stays in view, and the
    // strip covers no element wherever the elements are placed.
    StatusLine = new QWidget(this);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    StatusLine->setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(StatusLine);
    layout->setContentsMargins(8, 0, 8, 0);
    layout->setSpacing(16);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    QLabel* notice = part(StatusLine, "StatusNotice", StatusPart::Never, 0, layout);
    notice->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold"));
    notice->setVisible(false);
    part(StatusLine, "StatusPort", StatusPart::WhereFirst, 3, layout);
    part(StatusLine, "StatusLines", StatusPart::Never, 0, layout);
    part(StatusLine, "StatusTable", StatusPart::AtTheEnd, 2, layout);
    // The line shares its room by these weights: the web board's address
    // (printed at start, the same all day) gives way before the states.
    part(StatusLine, "StatusWeb", StatusPart::AtTheEnd, 1, layout)->setVisible(false);
    part(StatusLine, "StatusMqtt", StatusPart::WhereFirst, 3, layout)->setVisible(false);
    StatusLine->setMinimumWidth(1);  // a narrow window shortens the parts, it is not held wide
    StatusLine->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The row is as high as the scroll bar: one line of the panel's font fits.
    auto* bar = new StatusRowScrollBar(StatusLine);
    scroller->setHorizontalScrollBar(bar);
    bar->setSizePolicy(QSizePolicy::Preferred, bar->sizePolicy().verticalPolicy());
    bar->setMinimumWidth(160);
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroller->addScrollBarWidget(StatusLine, Qt::AlignLeft);
    // The scroll area would ask for the strip's whole text as its least width.
    scroller->setMinimumSize(1, 1);

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
    if (!followStatus_.isEmpty()) {
        port = followStatus_;  // a follower has no port
    } else if (NetInput) {
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
            linesReceived() == 0 ? QStringLiteral("no lines received")
                                : QStringLiteral("%1 %2 received, last %3")
                                      .arg(linesReceived())
                                      .arg(linesReceived() == 1 ? QStringLiteral("line") : QStringLiteral("lines"))
                                      .arg(ago(since)));
    StatusLine->findChild<QLabel*>(QStringLiteral("StatusLines"))->setVisible(followStatus_.isEmpty());

    // The language file may change the font: the row follows.
    if (scroller->horizontalScrollBar()->height() != scroller->horizontalScrollBar()->sizeHint().height())
        QCoreApplication::postEvent(scroller, new QEvent(QEvent::LayoutRequest));

    const int waiting = Dialogs::current().pendingNotices();
    setText(StatusLine, "StatusNotice",
            waiting == 0 ? QString()
                         : waiting == 1 ? QStringLiteral("1 notice waiting")
                                        : QStringLiteral("%1 notices waiting").arg(waiting),
            Dialogs::current().noticesHeld() ? QStringLiteral("Shown when the setup panel comes back")
                                             : QStringLiteral("Read it and press OK"));
    StatusLine->findChild<QLabel*>(QStringLiteral("StatusNotice"))->setVisible(waiting > 0);

    QString table = QStringLiteral("time table: not loaded"), tableTip;
    if (!followUrl.isEmpty()) {
        table = QStringLiteral("no time table: this board follows another and records nothing");
    } else if (TimeControl) {
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

void Tdisplay::setFollowStatus(const QString& text) {
    followStatus_ = text;
    updateStatusLine();
}

void Tdisplay::setMqttStatus(const QString& text) {
    mqttStatus_ = text;
    updateStatusLine();
}
