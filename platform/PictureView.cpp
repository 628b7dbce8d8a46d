#include "PictureView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPen>

#include <cmath>

PictureView::PictureView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PictureView::setPicture(const QImage& picture)
{
    if (picture.isNull() && m_picture.isNull())
        return;
    m_picture = picture;
    update();
}

QSize PictureView::sizeInDevicePixels() const
{
    const qreal ratio = devicePixelRatioF();
    return {int(std::lround(width() * ratio)), int(std::lround(height() * ratio))};
}

void PictureView::setMarked(bool marked)
{
    if (m_marked == marked)
        return;
    m_marked = marked;
    update();
}

void PictureView::paintEvent(QPaintEvent*)
{
    if (m_picture.isNull() && !m_marked)
        return;
    QPainter painter(this);
    if (!m_picture.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), m_picture);
    }
    if (m_marked) {
        const int half = kMarkWidthPx / 2;
        painter.setPen(QPen(QColor::fromRgb(kMarkColour), kMarkWidthPx));
        painter.drawRect(rect().adjusted(half, half, -half, -half));
    }
}

void PictureView::mouseReleaseEvent(QMouseEvent* e)
{
    e->accept();
    emit clicked();
}
