#include "PictureView.h"

#include <QMouseEvent>
#include <QPainter>

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

void PictureView::paintEvent(QPaintEvent*)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_picture);
}

void PictureView::mouseReleaseEvent(QMouseEvent* e)
{
    e->accept();
    emit clicked();
}
