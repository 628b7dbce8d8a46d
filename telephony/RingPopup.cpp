#include "RingPopup.h"

#include "Artwork.h"
#include "ImageButton.h"
#include "SipEngine.h"
#include "Twips.h"
#include "WindowStyling.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace {

QRect primaryScreenGeometry()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

RingSlide slideOnPrimaryScreen()
{
    const QRect screen = primaryScreenGeometry();
    return RingSlide(Twips::fromPx(screen.width()), Twips::fromPx(screen.height()), RingPopup::kWidthTwips,
                     RingPopup::kHeightTwips);
}

} // namespace

RingPopup::RingPopup(SipEngine& engine, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint)
    , m_engine(engine)
    , m_slide(slideOnPrimaryScreen())
    , m_screenOrigin(primaryScreenGeometry().topLeft())
    , m_timer1(new QTimer(this))
{
    setObjectName(QStringLiteral("frmRing"));
    // The operator may be typing elsewhere: the popup must not take the focus.
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Often the only window shown while the main window sits in the tray: closing it must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(Twips::toPx(kWidthTwips, kHeightTwips));

    const char* icons[] = {"reject", "answer"};
    const double leftTwips[] = {975, 225};
    for (int i = 0; i < 2; ++i) {
        auto* b = new ImageButton(this);
        b->setObjectName(QStringLiteral("iCmd(%1)").arg(i));
        b->setImage(Artwork::icon(QLatin1String(icons[i])), kIconPx);
        b->setBaseGeometry(Twips::toPx(leftTwips[i], 225, 525, 525));
        connect(b, &ImageButton::released, this, [this, i] { iCmd_Click(i); });
        m_iCmd[std::size_t(i)] = b;
    }

    placeAtSlide();
    WindowStyling::SetTopmost(this, true);
    WindowStyling::SetTransparency(this, kOpacity);

    m_timer1->setInterval(RingSlide::kTickMs);
    connect(m_timer1, &QTimer::timeout, this, &RingPopup::Timer1Tick);
    m_timer1->start();
}

RingPopup::~RingPopup() = default;

void RingPopup::placeAtSlide()
{
    move(m_screenOrigin + QPoint(Twips::toPx(m_slide.left()), Twips::toPx(m_slide.top())));
}

void RingPopup::iCmd_Click(int index)
{
    if (index == 0)
        m_engine.linphoneTerminate();
    else if (index == 1)
        m_engine.linphoneAnswer();
    else
        return;
    m_slide.buttonUsed();
    if (!m_timer1->isActive())
        m_timer1->start();
    if (index == 1)
        emit answered();
}

void RingPopup::Timer1Tick()
{
    const RingSlide::Tick result = m_slide.tick();
    placeAtSlide();
    switch (result) {
    case RingSlide::Tick::Moved:
        break;
    case RingSlide::Tick::Rested:
    case RingSlide::Tick::Stopped:
        m_timer1->stop();
        break;
    case RingSlide::Tick::SlidOut:
        m_timer1->stop();
        emit slidOut();
        close();
        break;
    }
}

void RingPopup::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0x40, 0x40, 0x40));
    // A thin fixed border, since there is no window frame.
    p.setPen(QColor(0x10, 0x10, 0x10));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void RingPopup::closeEvent(QCloseEvent* e)
{
    m_timer1->stop();
    QWidget::closeEvent(e);
}
