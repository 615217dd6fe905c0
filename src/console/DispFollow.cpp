// A display-only board fed by another (--follow URL): the followed texts,
// visibility and pictures go onto this window's own elements.
#include "console/DispFollow.h"

#include "console/Disp.h"
#include "display/BoardModel.h"
#include "display/DisplayLabel.h"
#include "display/PictureBox.h"
#include "follow/Follower.h"

#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

std::unique_ptr<DispFollow> DispFollow::start(Tdisplay& d, const FollowSource& source) {
    std::unique_ptr<DispFollow> f(new DispFollow(d));
    // What would open a port or change the time table is of no use here.
    const QString why = QStringLiteral("This board follows %1: it opens no port and records nothing.")
                            .arg(source.display());
    for (QWidget* w : {static_cast<QWidget*>(d.COM), static_cast<QWidget*>(d.PortSettings),
                       static_cast<QWidget*>(d.Time)}) {
        w->setEnabled(false);
        w->setToolTip(why);
    }
    f->follower_ = std::make_unique<Follower>(source, *f);
    d.boardModel()->addObserver(f.get());
    return f;
}

DispFollow::DispFollow(Tdisplay& d) : display_(&d) {
    // What the board core holds goes through it, so the web board's and the
    // MQTT topics' values are the followed ones; the rest is the window's own.
    auto value = [this](const QWidget* w, std::function<BoardValues::Shown&(BoardValues&)> pick) {
        values_.insert(w->objectName(), std::move(pick));
    };
    for (size_t i = 0; i < d.Zeitstellen.size(); ++i)
        value(d.Zeitstellen[i], [i](BoardValues& v) -> BoardValues::Shown& { return v.time[i]; });
    value(d.Rang, [](BoardValues& v) -> BoardValues::Shown& { return v.rank; });
    value(d.Nummer, [](BoardValues& v) -> BoardValues::Shown& { return v.number; });
    value(d.Vorgabezeit, [](BoardValues& v) -> BoardValues::Shown& { return v.preset; });
    for (size_t i = 0; i < 4; ++i)
        value(d.Tafel[i].Text, [i](BoardValues& v) -> BoardValues::Shown& { return v.boards[i]; });
    for (size_t i = 0; i < 3; ++i) {
        value(d.Textfeld[i].V, [i](BoardValues& v) -> BoardValues::Shown& { return v.texts[i]; });
        for (DisplayLabel* s : d.Textfeld[i].shadows())
            elements_.insert(s->objectName(), s);  // their text is the field's; shown as followed
    }
    for (PictureBox* p : d.Logo)
        elements_.insert(p->objectName(), p);
}

DispFollow::~DispFollow() {
    batch_.reset();
    follower_.reset();
    if (display_) {
        display_->boardModel()->removeObserver(this);
        display_->setFollowStatus({});
    }
}

void DispFollow::beginState() {
    if (display_ && !batch_)
        batch_.emplace(display_->core());
}

void DispFollow::endState() { batch_.reset(); }

void DispFollow::setElement(const QString& name, const QString& text, bool visible) {
    if (!display_)
        return;
    if (const auto pick = values_.constFind(name); pick != values_.constEnd()) {
        display_->core().change([&](BoardValues& v) { (*pick)(v) = {text, visible}; });
        return;
    }
    QWidget* w = elements_.value(name);
    if (!w)
        return;  // a name this board does not have
    if (w == display_->Logo[2]) {
        display_->core().change([&](BoardValues& v) { v.advert = visible; });
        return;
    }
    if (auto* l = qobject_cast<DisplayLabel*>(w))
        l->setText(text);
    if (w->isHidden() == visible)
        w->setVisible(visible);
}

void DispFollow::setPicture(int number, const QImage& image) {
    if (display_ && number >= 1 && number <= 3)
        display_->Logo[size_t(number - 1)]->setImage(image);
}

void DispFollow::setFollowStatus(const QString& text) {
    // Also for a board on a machine without a screen, and for the log.
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
    if (display_)
        display_->setFollowStatus(text);
}

void DispFollow::boardChanged(const board::Snapshot&) {
    // Something of the window's own (the first paint's settings load, a
    // hotkey, a language change) may have set an element: the followed
    // board wins again. Setting what is already shown changes nothing, so
    // this ends after one round.
    if (reapplyQueued_)
        return;
    reapplyQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        reapplyQueued_ = false;
        if (follower_)
            follower_->reapply();
    });
}
