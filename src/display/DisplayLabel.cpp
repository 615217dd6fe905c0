#include "DisplayLabel.h"

#include "common/Colour.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

DisplayLabel::DisplayLabel(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    adjustBounds();
}

void DisplayLabel::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    adjustBounds();
    update();
    emit changed();
}

void DisplayLabel::setDisplayFont(const QFont& f) {
    setFont(f);  // changeEvent re-sizes
}

void DisplayLabel::setFontColour(int32_t c) {
    if (c == fontColour_)
        return;
    fontColour_ = c;
    update();
    emit changed();
}

void DisplayLabel::setColour(int32_t c) {
    if (c == colour_)
        return;
    colour_ = c;
    update();
    emit changed();
}

void DisplayLabel::setTransparent(bool t) {
    if (t == transparent_)
        return;
    transparent_ = t;
    update();
    emit changed();
}

void DisplayLabel::setAlignment(Alignment a) {
    if (a == alignment_)
        return;
    alignment_ = a;
    update();
    emit changed();
}

QSize DisplayLabel::sizeHint() const {
    const QFontMetrics fm(font());
    // An empty text sizes like one blank, so the element stays clickable.
    const QString measured = text_.isEmpty() ? QStringLiteral(" ") : text_;
    return QSize(fm.horizontalAdvance(measured), fm.height());
}

void DisplayLabel::adjustBounds() {
    const QSize s = sizeHint();
    if (s == size())
        return;
    if (alignment_ == Right) {
        const int right = x() + width();
        setGeometry(right - s.width(), y(), s.width(), s.height());
    } else {
        resize(s);
    }
}

void DisplayLabel::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange) {
        adjustBounds();
        emit changed();
    }
    QWidget::changeEvent(e);
}

void DisplayLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!transparent_) {
        if (auto bg = colour::toQColor(colour_))
            p.fillRect(rect(), *bg);
    }
    p.setPen(colour::toQColor(fontColour_).value_or(Qt::black));
    p.setFont(font());
    int flags = Qt::AlignVCenter | Qt::TextSingleLine;
    flags |= alignment_ == Right ? Qt::AlignRight : alignment_ == Center ? Qt::AlignHCenter : Qt::AlignLeft;
    p.drawText(rect(), flags, text_);
}

void DisplayLabel::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && onClick)
        onClick();
    QWidget::mouseReleaseEvent(e);
}

void DisplayLabel::mouseMoveEvent(QMouseEvent* e) {
    if (onMouseMove) {
        const QPoint p = e->position().toPoint();
        onMouseMove(p.x(), p.y());
    }
    e->accept();  // the window background does not see moves over an element
}
