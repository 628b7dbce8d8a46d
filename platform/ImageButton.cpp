#include "ImageButton.h"

#include "Twips.h"

#include <QMouseEvent>

ImageButton::ImageButton(QWidget* parent)
    : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_TranslucentBackground);
}

void ImageButton::setImage(const QIcon& icon, int iconSizePx)
{
    m_icon = icon;
    m_iconSizePx = iconSizePx;
    renderImage();
}

void ImageButton::renderImage()
{
    if (m_icon.isNull()) {
        clear();
        return;
    }
    setPixmap(m_icon.pixmap(QSize(m_iconSizePx, m_iconSizePx), devicePixelRatioF()));
}

void ImageButton::setBaseGeometry(const QRect& rect)
{
    m_base = rect;
    applyGeometry();
}

void ImageButton::applyGeometry()
{
    const int offset = Twips::toPx(kPressOffsetTwips) * m_pressCount;
    setGeometry(m_base.translated(offset, offset));
}

void ImageButton::press()
{
    ++m_pressCount;
    applyGeometry();
    emit pressed();
}

void ImageButton::pressLook()
{
    ++m_pressCount;
    applyGeometry();
}

void ImageButton::releaseLook()
{
    if (m_pressCount == 0)
        return;
    --m_pressCount;
    applyGeometry();
}

void ImageButton::mousePressEvent(QMouseEvent* e)
{
    e->accept();
    press();
}

void ImageButton::mouseDoubleClickEvent(QMouseEvent* e)
{
    e->accept();
    press();
}

void ImageButton::mouseReleaseEvent(QMouseEvent* e)
{
    e->accept();
    if (m_pressCount == 0)
        return;
    // Back in place before acting: the action may open a modal window.
    --m_pressCount;
    applyGeometry();
    emit released();
}
