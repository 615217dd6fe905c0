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
    adjustBounds();
    update();
    emit changed();
}

void DisplayLabel::setPlace(const QPoint& p) {
    if (p == place())
        return;
    move(p + QPoint(offset_, 0));
}

void DisplayLabel::setReferenceText(const QString& text) {
    if (text == reference_)
        return;
    reference_ = text;
    adjustBounds();
}

namespace {
int textWidth(const QFontMetrics& fm, const QString& text) {
    // An empty text sizes like one blank, so the element stays clickable.
    return fm.horizontalAdvance(text.isEmpty() ? QStringLiteral(" ") : text);
}
} // namespace

QSize DisplayLabel::sizeHint() const {
    const QFontMetrics fm(font());
    return QSize(textWidth(fm, text_), fm.height());
}

void DisplayLabel::adjustBounds() {
    // Laid out from the designed place alone: the same place, text, font and
    // alignment always give the same geometry, whatever was shown before.
    const QPoint at = place();
    const QSize s = sizeHint();
    offset_ = alignment_ == Right ? textWidth(QFontMetrics(font()), reference_) - s.width() : 0;
    const QRect g(at + QPoint(offset_, 0), s);
    if (g != geometry())
        setGeometry(g);
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

QPoint designedPlace(const QWidget* element) {
    if (auto* l = qobject_cast<const DisplayLabel*>(element))
        return l->place();
    return element->pos();
}

void setDesignedPlace(QWidget* element, const QPoint& p) {
    if (auto* l = qobject_cast<DisplayLabel*>(element))
        l->setPlace(p);
    else if (element->pos() != p)
        element->move(p);
}
