#include "PictureView.h"

#include <QPainter>

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

void PictureView::paintEvent(QPaintEvent*)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_picture);
}
