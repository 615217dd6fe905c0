#pragma once
#include <QPixmap>
#include <QWidget>
#include <functional>

// One of the board's pictures, sized to the picture it shows.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    // Loads a picture file; false (and an empty picture) when it cannot be read.
    bool load(const QString& fileName);
    const QPixmap& picture() const { return pixmap_; }

    std::function<void()> onClick;
    std::function<void(int x, int y)> onMouseMove;

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    QPixmap pixmap_;
};
