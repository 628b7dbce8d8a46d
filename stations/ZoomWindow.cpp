#include "ZoomWindow.h"

#include "Artwork.h"
#include "CallKeyBindings.h"
#include "ImageButton.h"
#include "PictureView.h"
#include "SettingsStore.h"
#include "Twips.h"
#include "WindowStyling.h"

#include <QCloseEvent>

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
    // The picture first, so the buttons are drawn over it.
    , m_picture(new PictureView(this))
    , m_telephoneButton(new ImageButton(this))
    , m_lockButton(new ImageButton(this))
    , m_lightButton(new ImageButton(this))
{
    setObjectName(QStringLiteral("zoomWindow"));
    setWindowIcon(Artwork::icon(QStringLiteral("app")));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x40, 0x40, 0x40));
    setPalette(pal);
    resize(Twips::toPx(ZoomLayout::kDesignClientWidthTwips, ZoomLayout::kDesignClientHeightTwips));

    m_telephoneButton->setObjectName(QStringLiteral("telephoneButton"));
    m_lockButton->setObjectName(QStringLiteral("lockButton"));
    m_lightButton->setObjectName(QStringLiteral("lightButton"));
    m_telephoneButton->setImage(Artwork::icon(m_telKey), kTelIconPx);
    m_lockButton->setImage(Artwork::icon(QStringLiteral("lock")), kTelIconPx);
    m_lightButton->setImage(Artwork::icon(QStringLiteral("light")), kTelIconPx);
    m_telephoneButton->setAccessibleName(tr("Telephone"));
    m_telephoneButton->setToolTip(tr("Calls the station, answers its call (%1) or hangs up (%2)")
                                      .arg(CallKeyBindings::keyName(CallKeyBindings::kAnswer),
                                           CallKeyBindings::keyName(CallKeyBindings::kHangUp)));
    m_lockButton->setAccessibleName(tr("Open the door"));
    m_lockButton->setToolTip(tr("Opens the door"));
    m_lightButton->setAccessibleName(tr("Light"));
    m_lightButton->setToolTip(tr("Switches on the light"));
    m_picture->setAccessibleName(tr("Camera"));
    m_picture->setToolTip(tr("Click to close"));
    connect(m_telephoneButton, &ImageButton::pressed, this, &ZoomWindow::telephonePressed);
    connect(m_telephoneButton, &ImageButton::released, this, &ZoomWindow::telephoneReleased);
    connect(m_lockButton, &ImageButton::pressed, this, &ZoomWindow::lockPressed);
    connect(m_lockButton, &ImageButton::released, this, &ZoomWindow::lockReleased);
    connect(m_lightButton, &ImageButton::pressed, this, &ZoomWindow::lightPressed);
    connect(m_lightButton, &ImageButton::released, this, &ZoomWindow::lightReleased);
    // The caption invites it: a click on the picture closes the window.
    connect(m_picture, &PictureView::clicked, this, &QWidget::close);

    layOut();
    const WindowPlacement placement = WindowPlacement::load(m_settings, WindowPlacement::kZoomWindowPrefix);
    if (placement.applies())
        placement.applyTo(*this);
}

ZoomWindow::~ZoomWindow() = default;

void ZoomWindow::setDescription(const QString& description)
{
    setWindowTitle(tr("Zoom %1 - Click to close").arg(description));
}

void ZoomWindow::setPicture(const QImage& picture)
{
    m_picture->setPicture(picture);
}

QImage ZoomWindow::picture() const
{
    return m_picture->picture();
}

void ZoomWindow::setTelephoneImage(const QString& key)
{
    m_telKey = key;
    m_telephoneButton->setImage(key.isEmpty() ? QIcon() : Artwork::icon(key), kTelIconPx);
}

void ZoomWindow::setTopmost(bool onTop)
{
    WindowStyling::setTopmost(this, onTop);
}

bool ZoomWindow::isTopmost() const
{
    return windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void ZoomWindow::layOut()
{
    // No button may cover another: the window never gets smaller than its buttons need.
    const TileLayout::OuterSize least = ZoomLayout::minimumOuterSize(ZoomLayoutControls::design());
    const QSize minimum = Twips::toPx(least.width, least.height) - (frameGeometry().size() - size());
    if (minimumSize() != minimum)
        setMinimumSize(minimum);
    const QRect frame = frameGeometry();
    ZoomLayout::layOut(m_layout, Twips::fromPx(frame.width()), Twips::fromPx(frame.height()));
    m_picture->setGeometry(toPx(m_layout.pictureView));
    m_telephoneButton->setBaseGeometry(toPx(m_layout.telephoneButton));
    m_lockButton->setBaseGeometry(toPx(m_layout.lockButton));
    m_lightButton->setBaseGeometry(toPx(m_layout.lightButton));
}

void ZoomWindow::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    layOut();
}

void ZoomWindow::closeEvent(QCloseEvent* e)
{
    WindowPlacement::of(*this).save(m_settings, WindowPlacement::kZoomWindowPrefix);
    QWidget::closeEvent(e);
    emit closed();
}
