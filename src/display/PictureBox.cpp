#include "PictureBox.h"

#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    resize(0, 0);
}

bool PictureBox::load(const QString& fileName) {
    QImageReader reader(fileName);
    // A hostile file must not make us allocate gigabytes.
    reader.setAllocationLimit(256);
    const QImage image = reader.read();
    pixmap_ = image.isNull() ? QPixmap() : QPixmap::fromImage(image);
    resize(pixmap_.size());
    update();
    return !image.isNull();
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
