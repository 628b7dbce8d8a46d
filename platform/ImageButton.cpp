#include "ImageButton.h"

#include "Twips.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

/// What a screen reader sees: a button with its name and a press action, not the picture label it is made of.
class AccessibleImageButton : public QAccessibleWidget
{
public:
    explicit AccessibleImageButton(ImageButton* button)
        : QAccessibleWidget(button, QAccessible::Button)
    {
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction())
            static_cast<ImageButton*>(widget())->click();
    }
};

QAccessibleInterface* accessibleImageButton(const QString& className, QObject* object)
{
    if (className == QLatin1String("ImageButton") && object && object->isWidgetType())
        return new AccessibleImageButton(static_cast<ImageButton*>(object));
    return nullptr;
}

} // namespace

ImageButton::ImageButton(QWidget* parent)
    : QLabel(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(accessibleImageButton);
        return true;
    }();
    Q_UNUSED(factoryInstalled)
    setAlignment(Qt::AlignCenter);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_TranslucentBackground);
    // Tab only: a click must not leave a frame on the button, nor take the focus from a typed field.
    setFocusPolicy(Qt::TabFocus);
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

void ImageButton::click()
{
    press();
    release();
}

void ImageButton::setBadge(const QString& text)
{
    if (text == m_badge)
        return;
    m_badge = text;
    update();
}

void ImageButton::paintEvent(QPaintEvent* e)
{
    QLabel::paintEvent(e);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (hasFocus()) {
        // Drawn in the highlight colour over whatever the window's background is.
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 3, 3);
    }
    if (m_badge.isEmpty())
        return;
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(Twips::toPx(150));
    painter.setFont(font);
    // A disc for one digit, a rounded bar for more; always inside the button, so a press moves it along.
    const int height = Twips::toPx(240);
    const int textWidth = painter.fontMetrics().horizontalAdvance(m_badge);
    const int width = std::min(this->width(), std::max(height, textWidth + height / 2));
    const QRectF mark(this->width() - width, 0, width, height);
    painter.setPen(QPen(Qt::white, 1.2));
    painter.setBrush(QColor(0xE0, 0x10, 0x10));
    painter.drawRoundedRect(mark.adjusted(0.5, 0.5, -0.5, -0.5), height / 2.0, height / 2.0);
    painter.setPen(Qt::white);
    painter.drawText(mark, Qt::AlignCenter, m_badge);
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

void ImageButton::keyPressEvent(QKeyEvent* e)
{
    if (e->key() != Qt::Key_Space || e->modifiers() != Qt::NoModifier) {
        QLabel::keyPressEvent(e);
        return;
    }
    e->accept();
    // Auto-repeat sends more presses while the bar is held: one press, one action.
    if (e->isAutoRepeat() || m_keyPressed)
        return;
    m_keyPressed = true;
    press();
}

void ImageButton::keyReleaseEvent(QKeyEvent* e)
{
    if (e->key() != Qt::Key_Space) {
        QLabel::keyReleaseEvent(e);
        return;
    }
    e->accept();
    if (e->isAutoRepeat() || !m_keyPressed)
        return;
    m_keyPressed = false;
    release();
}

void ImageButton::focusOutEvent(QFocusEvent* e)
{
    // The bar still held when the focus moves on acts on nothing: the button only goes back in place.
    if (m_keyPressed) {
        m_keyPressed = false;
        releaseLook();
    }
    QLabel::focusOutEvent(e);
}

void ImageButton::mouseReleaseEvent(QMouseEvent* e)
{
    e->accept();
    release();
}

void ImageButton::release()
{
    if (m_pressCount == 0)
        return;
    // Back in place before acting: the action may open a modal window.
    --m_pressCount;
    applyGeometry();
    emit released();
}
