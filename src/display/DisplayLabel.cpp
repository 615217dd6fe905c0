#include "DisplayLabel.h"

#include "common/Colour.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QTextLayout>

#include <cmath>
#include <cstring>

DisplayLabel::DisplayLabel(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    adjustBounds();
}

DisplayLabel::~DisplayLabel() = default;

void DisplayLabel::updateOpaque() {
    // A label that fills itself with its colour hides what lies beneath: Qt
    // then neither paints the board behind it nor looks past it when it repaints.
    const std::optional<QColor> fill = transparent_ ? std::nullopt : colour::toQColor(colour_);
    setAttribute(Qt::WA_OpaquePaintEvent, fill && fill->alpha() == 255);
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
    updateOpaque();
    update();
    emit changed();
}

void DisplayLabel::setTransparent(bool t) {
    if (t == transparent_)
        return;
    transparent_ = t;
    updateOpaque();
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

DisplayLabel::Laid& DisplayLabel::laid(const QString& text) const {
    auto it = laid_.find(text);
    if (it != laid_.end())
        return *it;
    // Bounded: a label that shows ever new texts (names) keeps the latest few.
    if (laid_.size() >= 64) {
        laid_.clear();
        keptBytes_ = 0;
    }
    Laid l;
    // An empty text sizes like one blank, so the element stays clickable.
    l.width = QFontMetrics(font()).horizontalAdvance(text.isEmpty() ? QStringLiteral(" ") : text);
    return *laid_.insert(text, std::move(l));
}

int DisplayLabel::textWidth(const QString& text) const {
    return laid(text).width;
}

QSize DisplayLabel::sizeHint() const {
    return QSize(textWidth(text_), fontMetrics().height());
}

void DisplayLabel::adjustBounds() {
    // Laid out from the designed place alone: the same place, text, font and
    // alignment always give the same geometry, whatever was shown before.
    const QPoint at = place();
    const QSize s = sizeHint();
    offset_ = alignment_ == Right ? textWidth(reference_) - s.width() : 0;
    const QRect g(at + QPoint(offset_, 0), s);
    if (g != geometry())
        setGeometry(g);
}

void DisplayLabel::changeEvent(QEvent* e) {
    if (e->type() == QEvent::LayoutDirectionChange || e->type() == QEvent::FontChange) {
        laid_.clear();
        keptBytes_ = 0;
    }
    if (e->type() == QEvent::FontChange) {
        adjustBounds();
        emit changed();
    }
    QWidget::changeEvent(e);
}

void DisplayLabel::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    if (!transparent_) {
        if (auto bg = colour::toQColor(colour_))
            p.fillRect(rect(), *bg);
    }
    p.setPen(colour::toQColor(fontColour_).value_or(Qt::black));
    p.setFont(font());
    int flags = Qt::AlignVCenter | Qt::TextSingleLine;
    flags |= alignment_ == Right ? Qt::AlignRight : alignment_ == Center ? Qt::AlignHCenter : Qt::AlignLeft;
    if (!drawKept(p, e->region(), flags))
        drawText(p, flags);
}

namespace {
bool plainText(const QString& text, const QFont& f, Qt::LayoutDirection d) {
    bool plain = !text.isEmpty() && d == Qt::LeftToRight && !f.underline() && !f.strikeOut() && !f.overline();
    for (QChar c : text)
        plain = plain && c.unicode() >= 0x20 && (c.unicode() < 0x7f || c.unicode() >= 0xa0);
    return plain;
}

bool sameRows(const QImage& image, const QRect& at, const QImage& kept) {
    const size_t bytes = size_t(at.width()) * 4;
    for (int y = 0; y < at.height(); ++y)
        if (std::memcmp(image.constScanLine(at.y() + y) + size_t(at.x()) * 4, kept.constScanLine(y), bytes) != 0)
            return false;
    return true;
}
} // namespace

// Draws the text from what the label kept when it painted it over the same
// pixels before: the glyphs blend with each pixel alone, so over the same
// pixels they give the same result. Only into a raster image of 32-bit
// pixels at its own pixel size, at whole pixels, and only when the whole
// label is painted (otherwise part of what lies beneath is the last frame).
bool DisplayLabel::drawKept(QPainter& p, const QRegion& painted, int flags) {
    constexpr qsizetype kMaxImage = 512 << 10, kMaxKept = 2 << 20;  // per label: a digit keeps a dozen small texts
    QPaintEngine* engine = p.paintEngine();
    QPaintDevice* target = engine ? engine->paintDevice() : nullptr;
    const bool whole = painted.rectCount() == 1 ? painted.boundingRect().contains(rect())
                                                : (QRegion(rect()) - painted).isEmpty();
    if (!target || target->devType() != QInternal::Image || !whole || !plainText(text_, p.font(), p.layoutDirection()))
        return false;
    const QTransform t = p.deviceTransform();
    if (t.type() > QTransform::TxTranslate || t.dx() != std::floor(t.dx()) || t.dy() != std::floor(t.dy()))
        return false;
    const auto* image = static_cast<const QImage*>(target);
    const QRect at(int(t.dx()), int(t.dy()), width(), height());
    const qsizetype bytes = qsizetype(at.width()) * at.height() * 4;
    // (The text's size comes from its layout, made for this widget, not from the image.)
    if (image->depth() != 32 || image->devicePixelRatio() != 1.0 || !image->rect().contains(at) || bytes > kMaxImage)
        return false;
    Laid& l = laid(text_);
    const QRgb pen = p.pen().color().rgba();
    if (l.drawn.isNull() || l.pen != pen || l.flags != flags || l.backdrop.format() != image->format() ||
        l.backdrop.size() != at.size() || !sameRows(*image, at, l.backdrop)) {
        if (l.drawn.isNull() && keptBytes_ + 2 * bytes > kMaxKept) {
            for (Laid& other : laid_)  // a label showing ever new texts starts again
                other.backdrop = other.drawn = QImage();
            keptBytes_ = 0;
        }
        if (l.drawn.isNull())
            keptBytes_ += 2 * bytes;
        l.backdrop = image->copy(at);
        l.drawn = l.backdrop.copy();
        l.pen = pen;
        l.flags = flags;
        QPainter ip(&l.drawn);
        ip.setLayoutDirection(p.layoutDirection());
        ip.setRenderHints(p.renderHints());
        ip.setPen(p.pen());
        ip.setFont(p.font());
        drawText(ip, flags);
    }
    p.setCompositionMode(QPainter::CompositionMode_Source);  // the kept pixels replace what is there
    p.drawImage(0, 0, l.drawn);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    return true;
}

// QPainter::drawText(rect(), flags, text_), with the line laid out once per
// text instead of at every paint: the same line at the same place, so the same
// pixels. Texts whose drawing QPainter treats specially (control characters,
// decorated fonts, right-to-left) take QPainter's own way.
void DisplayLabel::drawText(QPainter& p, int flags) {
    const QFont& f = p.font();
    if (!plainText(text_, f, p.layoutDirection())) {
        p.drawText(rect(), flags, text_);
        return;
    }
    Laid& l = laid(text_);
    if (!l.layout) {
        l.layout = std::make_shared<QTextLayout>(text_, f, this);
        QTextOption o;
        o.setTextDirection(Qt::LeftToRight);
        o.setAlignment(Qt::AlignLeft);
        l.layout->setTextOption(o);
        l.layout->setCacheEnabled(true);
        l.layout->beginLayout();
        QTextLine line = l.layout->createLine();
        line.setLineWidth(0x01000000);
        line.setPosition(QPointF(0, 0));
        l.layout->endLayout();
    }
    const QTextLine line = l.layout->lineAt(0);
    const QRectF r = rect();
    const qreal height = line.ascent() + line.descent();
    const qreal yoff = (r.height() - height) / 2;
    const qreal advance = line.horizontalAdvance();
    const qreal xoff = (flags & Qt::AlignRight) ? r.width() - advance
                       : (flags & Qt::AlignHCenter) ? (r.width() - advance) / 2
                                                    : 0;
    // Painting stays inside the label, so no clip is needed where the text is wider.
    line.draw(&p, QPointF(r.x() + xoff, r.y() + yoff));
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
