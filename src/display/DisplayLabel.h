#pragma once
#include <QHash>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

class QPainter;
class QTextLayout;

// A display element of the board: one line of plain text in its own font and
// colour, sized to its text, on its background colour or transparent.
//
// Its place is the designed one (what the operator put with the mouse, what
// disp.ini holds): the top left corner the label has while it shows its
// reference text. A right-aligned label showing another text keeps the right
// edge of that place; others keep its left edge. So the place never depends
// on what the label happens to show, and a save always writes the same place.
// Moving the widget (QWidget::move) puts the label, as it stands, there.
class DisplayLabel : public QWidget {
    Q_OBJECT
public:
    enum Alignment { Left = 0, Center = 1, Right = 2 };

    explicit DisplayLabel(QWidget* parent = nullptr);
    ~DisplayLabel() override;

    const QString& text() const { return text_; }
    // Writes the text; nothing happens when it is unchanged.
    void setText(const QString& text);

    void setDisplayFont(const QFont& f);
    int32_t fontColour() const { return fontColour_; }
    void setFontColour(int32_t c);
    int32_t colour() const { return colour_; }
    void setColour(int32_t c);  // 0x1FFFFFFF: nothing painted
    bool transparent() const { return transparent_; }
    void setTransparent(bool t);
    Alignment alignment() const { return alignment_; }
    void setAlignment(Alignment a);

    // The designed place, and the text whose width defines it (the design text).
    QPoint place() const { return pos() - QPoint(offset_, 0); }
    void setPlace(const QPoint& p);
    const QString& referenceText() const { return reference_; }
    void setReferenceText(const QString& text);

    // Mouse hooks for placing the element.
    std::function<void()> onClick;
    std::function<void(int x, int y)> onMouseMove;

    QSize sizeHint() const override;

signals:
    // Text, font, colours, transparency or alignment changed (geometry and
    // visibility come as the widget's own events).
    void changed();

protected:
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    void adjustBounds();
    void updateOpaque();
    // What a text needs again whenever the label shows it: its width in the
    // label's font and, once painted, its laid-out line. A time digit cycles
    // through a dozen texts, so after the first minute neither is measured
    // or laid out again. Emptied when the font changes.
    // Once painted whole, also the pixels it painted over and the result:
    // painted again over the same pixels, the label copies the result
    // instead of blending the glyphs once more (a digit cycles through a
    // few texts over an unchanging board).
    struct Laid {
        int width = 0;
        std::shared_ptr<QTextLayout> layout;
        QImage backdrop, drawn;
        QRgb pen = 0;
        int flags = 0;
    };
    Laid& laid(const QString& text) const;
    int textWidth(const QString& text) const;
    void drawText(QPainter& p, int flags);
    bool drawKept(QPainter& p, const QRegion& painted, int flags);
    mutable QHash<QString, Laid> laid_;
    mutable qsizetype keptBytes_ = 0;  // images kept in laid_

    QString text_;
    int32_t fontColour_ = 0;
    int32_t colour_ = 0x1FFFFFFF;
    bool transparent_ = false;
    Alignment alignment_ = Left;
    QString reference_;
    int offset_ = 0;  // left edge minus the place's left, as last laid out
};

// The designed place of a board element: a label's place, a picture's position.
QPoint designedPlace(const QWidget* element);
void setDesignedPlace(QWidget* element, const QPoint& p);
