#include "PictureBox.h"

#include "common/RegularFile.h"

#include <QBuffer>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    resize(0, 0);
}

namespace {
// Far above any logo; the decoder has its own limit for the pixels.
constexpr qint64 kMaxFile = 64 * 1024 * 1024;
}

bool PictureBox::load(const QString& fileName) {
    QByteArray bytes;
    QImage image;
    if (regularfile::read(fileName, kMaxFile, bytes)) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        // A hostile file must not make us allocate gigabytes.
        reader.setAllocationLimit(256);
        image = reader.read();
    }
    setImage(image);
    return !image_.isNull();
}

void PictureBox::setImage(const QImage& image) {
    image_ = image;
    pixmap_ = image_.isNull() ? QPixmap() : QPixmap::fromImage(image_);
    ++serial_;
    resize(pixmap_.size());
    update();
    emit changed();
}

void PictureBox::paintEvent(QPaintEvent*) {
    if (pixmap_.isNull())
        return;
    QPainter p(this);
    p.drawPixmap(0, 0, pixmap_);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && onClick)
        onClick();
    QWidget::mouseReleaseEvent(e);
}

void PictureBox::mouseMoveEvent(QMouseEvent* e) {
    if (onMouseMove) {
        const QPoint p = e->position().toPoint();
        onMouseMove(p.x(), p.y());
    }
    e->accept();  // the window background does not see moves over an element
}
