#include "display/BoardModel.h"

#include "display/DisplayLabel.h"
#include "display/PictureBox.h"

#include <QEvent>
#include <QFontInfo>
#include <QTimer>
#include <algorithm>

BoardModel::BoardModel(std::function<int32_t()> displayColour, std::function<QSize()> size, QObject* parent)
    : QObject(parent), displayColour_(std::move(displayColour)), size_(std::move(size)) {}

void BoardModel::addLabel(DisplayLabel* label, const QString& group) {
    watched_.push_back({label, label, nullptr, group, 0, {}, {}});
    connect(label, &DisplayLabel::changed, this, &BoardModel::schedule);
    label->installEventFilter(this);
    schedule();
}

void BoardModel::addPicture(PictureBox* picture, const QString& group, int number) {
    watched_.push_back({picture, nullptr, picture, group, number, {}, {}});
    connect(picture, &PictureBox::changed, this, &BoardModel::schedule);
    picture->installEventFilter(this);
    schedule();
}

void BoardModel::watchArea(QWidget* area) {
    area->installEventFilter(this);
}

void BoardModel::addObserver(board::Observer* o) {
    observers_.push_back(o);
}

void BoardModel::removeObserver(board::Observer* o) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
}

bool BoardModel::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
    case QEvent::PaletteChange:
        schedule();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, e);
}

void BoardModel::schedule() {
    if (pending_)
        return;
    pending_ = true;
    // Right after the handler that changed the board, once for all its changes.
    QTimer::singleShot(0, this, &BoardModel::take);
}

board::Snapshot BoardModel::snapshot() {
    if (pending_ || !last_)
        take();
    return last_;
}

board::Element BoardModel::read(Watched& w) {
    board::Element e;
    const QWidget* widget = w.widget;
    e.name = widget->objectName();
    e.group = w.group;
    e.visible = !widget->isHidden();
    const QRect g = widget->geometry();
    e.x = g.x();
    e.y = g.y();
    e.width = g.width();
    e.height = g.height();
    if (w.picture) {
        e.picture = w.number;
        e.pictureSerial = w.picture->serial();
        return e;
    }
    const DisplayLabel* l = w.label;
    const QFont& f = l->font();
    // Which installed face draws the font is asked only when the font changes.
    if (!(f == w.font) || w.face.isEmpty()) {
        w.font = f;
        w.face = QFontInfo(f).family();
    }
    e.text = l->text();
    e.fontFamily = f.family();
    e.fontFace = w.face;
    e.fontPixels = f.pixelSize() > 0 ? f.pixelSize() : QFontInfo(f).pixelSize();
    e.fontWeight = std::clamp(int(f.weight()), 100, 900);
    e.italic = f.italic();
    e.underline = f.underline();
    e.strikeOut = f.strikeOut();
    e.fontColour = l->fontColour();
    e.colour = l->colour();
    e.transparent = l->transparent();
    e.alignment = int(l->alignment());
    return e;
}

void BoardModel::take() {
    pending_ = false;
    auto s = std::make_shared<board::State>();
    const QSize size = size_ ? size_() : QSize();
    s->width = size.width();
    s->height = size.height();
    s->displayColour = displayColour_ ? displayColour_() : 0;
    if (values_)
        s->values = values_();
    s->elements.reserve(watched_.size());
    for (Watched& w : watched_) {
        s->elements.push_back(read(w));
        if (w.picture) {
            const int i = w.number - 1;
            if (i >= 0 && i < 3)
                s->pictures[size_t(i)] = w.picture->image();  // shared, not copied
        }
    }
    if (last_ && last_->sameAs(*s))
        return;
    last_ = std::move(s);
    for (board::Observer* o : observers_)
        o->boardChanged(last_);
}
