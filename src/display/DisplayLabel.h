#pragma once
#include <QWidget>
#include <cstdint>
#include <functional>

// A display element of the board: one line of plain text in its own font and
// colour, sized to its text, on its background colour or transparent.
// A right-aligned label keeps its right edge when its text changes.
class DisplayLabel : public QWidget {
    Q_OBJECT
public:
    enum Alignment { Left = 0, Center = 1, Right = 2 };

    explicit DisplayLabel(QWidget* parent = nullptr);

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

    // Mouse hooks for placing the element.
    std::function<void()> onClick;
    std::function<void(int x, int y)> onMouseMove;

    QSize sizeHint() const override;

signals:
    // Text, font, colours, transparency or alignment changed (geometry and
    // visibility come as the widget's own events).
    void changed();

protected:
    void paintEvent(QPaintEvent*) override;
    void changeEvent(QEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    void adjustBounds();

    QString text_;
    int32_t fontColour_ = 0;
    int32_t colour_ = 0x1FFFFFFF;
    bool transparent_ = false;
    Alignment alignment_ = Left;
};
