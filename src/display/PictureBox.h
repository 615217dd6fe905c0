#pragma once
#include <QImage>
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
    // Shows a picture from elsewhere (a followed board); a null image empties it.
    void setImage(const QImage& image);
    const QPixmap& picture() const { return pixmap_; }
    // The loaded picture as an image (usable on any thread), and a number
    // that changes with every load.
    const QImage& image() const { return image_; }
    quint64 serial() const { return serial_; }

    std::function<void()> onClick;
    std::function<void(int x, int y)> onMouseMove;

signals:
    void changed();  // another picture was loaded

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    QPixmap pixmap_;
    QImage image_;
    quint64 serial_ = 0;
};
