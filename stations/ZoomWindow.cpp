#include "ZoomWindow.h"

#include "Artwork.h"
#include "ImageButton.h"
#include "SettingsStore.h"
#include "Twips.h"
#include "WindowStyling.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {

QRect toPx(const TwipRect& r)
{
    return Twips::toPx(r.left, r.top, r.width, r.height);
}

} // namespace

ZoomWindow::ZoomWindow(SettingsStore& settings, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_settings(settings)
    , m_layout(ZoomLayoutControls::design())
    , m_telKey(QStringLiteral("tel_n"))
    , m_cmdTel(new ImageButton(this))
    , m_cmdLock(new ImageButton(this))
    , m_cmdLight(new ImageButton(this))
{
    setObjectName(QStringLiteral("frmZoom"));
    setWindowIcon(Artwork::icon(QStringLiteral("app")));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x40, 0x40, 0x40));
    setPalette(pal);
    resize(Twips::toPx(ZoomLayout::kDesignClientWidthTwips, ZoomLayout::kDesignClientHeightTwips));

    m_cmdTel->setObjectName(QStringLiteral("cmdTel"));
    m_cmdLock->setObjectName(QStringLiteral("cmdLock"));
    m_cmdLight->setObjectName(QStringLiteral("cmdLight"));
    m_cmdTel->setImage(Artwork::icon(m_telKey), kTelIconPx);
    m_cmdLock->setImage(Artwork::icon(QStringLiteral("lock")), kTelIconPx);
    m_cmdLight->setImage(Artwork::icon(QStringLiteral("light")), kTelIconPx);
    connect(m_cmdTel, &ImageButton::pressed, this, &ZoomWindow::cmdTelPressed);
    connect(m_cmdTel, &ImageButton::released, this, &ZoomWindow::cmdTelReleased);
    connect(m_cmdLock, &ImageButton::pressed, this, &ZoomWindow::cmdLockPressed);
    connect(m_cmdLock, &ImageButton::released, this, &ZoomWindow::cmdLockReleased);
    connect(m_cmdLight, &ImageButton::pressed, this, &ZoomWindow::cmdLightPressed);
    connect(m_cmdLight, &ImageButton::released, this, &ZoomWindow::cmdLightReleased);

    applyLayout();
    restorePlacement();
}

ZoomWindow::~ZoomWindow() = default;

void ZoomWindow::restorePlacement()
{
    const ZoomPlacement p = ZoomPlacement::load(m_settings);
    if (!p.applies())
        return;
    // The saved width and height are the outer frame; the frame's thickness is
    // known only once the window exists.
    create();
    const QRect frame = Twips::toPx(p.leftTwips, p.topTwips, p.widthTwips, p.heightTwips);
    const QMargins margins = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    move(frame.topLeft());
    resize(std::max(1, frame.width() - margins.left() - margins.right()),
           std::max(1, frame.height() - margins.top() - margins.bottom()));
    if (p.state == 2)
        setWindowState(Qt::WindowMaximized);
}

ZoomPlacement ZoomWindow::currentPlacement() const
{
    ZoomPlacement p;
    p.state = isMinimized() ? 1 : (isMaximized() ? 2 : 0);
    const QRect frame = frameGeometry();
    p.leftTwips = Twips::fromPx(frame.left());
    p.topTwips = Twips::fromPx(frame.top());
    p.widthTwips = Twips::fromPx(frame.width());
    p.heightTwips = Twips::fromPx(frame.height());
    return p;
}

void ZoomWindow::setDescription(const QString& description)
{
    setWindowTitle(QStringLiteral("Zoom ") + description + QStringLiteral(" - Click to close"));
}

void ZoomWindow::setPicture(const QImage& picture)
{
    m_picture = picture;
    update(m_pictureRect);
}

void ZoomWindow::setTelImage(const QString& key)
{
    m_telKey = key;
    m_cmdTel->setImage(key.isEmpty() ? QIcon() : Artwork::icon(key), kTelIconPx);
}

void ZoomWindow::setTopmost(bool onTop)
{
    WindowStyling::SetTopmost(this, onTop);
}

bool ZoomWindow::isTopmost() const
{
    return windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

QSize ZoomWindow::pictureSize() const
{
    const qreal ratio = devicePixelRatioF();
    return {static_cast<int>(std::lround(m_pictureRect.width() * ratio)),
            static_cast<int>(std::lround(m_pictureRect.height() * ratio))};
}

void ZoomWindow::Form_Resize()
{
    const QRect frame = frameGeometry();
    ZoomLayout::layOut(m_layout, Twips::fromPx(frame.width()), Twips::fromPx(frame.height()));
    applyLayout();
}

void ZoomWindow::applyLayout()
{
    m_pictureRect = toPx(m_layout.imgCam);
    m_cmdTel->setBaseGeometry(toPx(m_layout.cmdTel));
    m_cmdLock->setBaseGeometry(toPx(m_layout.cmdLock));
    m_cmdLight->setBaseGeometry(toPx(m_layout.cmdLight));
    update();
}

void ZoomWindow::paintEvent(QPaintEvent*)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(m_pictureRect, m_picture);
}

void ZoomWindow::mouseReleaseEvent(QMouseEvent* e)
{
    // The caption invites it: a click on the picture closes the window.
    if (m_pictureRect.contains(e->position().toPoint())) {
        e->accept();
        close();
        return;
    }
    QWidget::mouseReleaseEvent(e);
}

void ZoomWindow::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    Form_Resize();
}

void ZoomWindow::closeEvent(QCloseEvent* e)
{
    currentPlacement().save(m_settings);
    QWidget::closeEvent(e);
    emit closed();
}
