#include "RingPopup.h"

#include "Artwork.h"
#include "CallKeyBindings.h"
#include "ImageButton.h"
#include "PictureView.h"
#include "Twips.h"
#include "WindowStyling.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace {

QRect primaryScreenGeometry()
{
    // The area windows may use: a panel at the bottom or the right must not hide the popup.
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

RingSlide slideOnPrimaryScreen()
{
    const QRect screen = primaryScreenGeometry();
    return RingSlide(Twips::fromPx(screen.width()), Twips::fromPx(screen.height()), RingPopup::kWidthTwips,
                     RingPopup::kHeightTwips);
}

} // namespace

RingPopup::RingPopup(QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint)
    , m_slide(slideOnPrimaryScreen())
    , m_screenOrigin(primaryScreenGeometry().topLeft())
    , m_slideTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("ringPopup"));
    // The operator may be typing elsewhere: the popup must not take the focus.
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Often the only window shown while the main window sits in the tray: closing it must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(Twips::toPx(kWidthTwips, kHeightTwips));

    auto makeButton = [this](const char* name, const char* icon, double leftTwips) {
        auto* b = new ImageButton(this);
        b->setObjectName(QLatin1String(name));
        b->setImage(Artwork::icon(QLatin1String(icon)), kIconPx);
        b->setBaseGeometry(Twips::toPx(leftTwips, 225, 525, 525));
        return b;
    };
    m_answerButton = makeButton("answerButton", "answer", 225);
    m_rejectButton = makeButton("rejectButton", "reject", 975);

    m_caller = new QLabel(this);
    m_caller->setObjectName(QStringLiteral("callerLabel"));
    m_caller->setGeometry(Twips::toPx(1650, 225, kWidthTwips - 1800, 525));
    m_caller->setWordWrap(true);
    m_caller->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_caller->setStyleSheet(QStringLiteral("color: white; font-weight: bold;"));
    m_picture = new PictureView(this);
    m_picture->setObjectName(QStringLiteral("callerPicture"));
    m_picture->setGeometry(
        Twips::toPx(kPictureLeftTwips, kPictureTopTwips, kPictureWidthTwips, kPictureHeightTwips));
    m_answerButton->setAccessibleName(tr("Answer"));
    m_answerButton->setToolTip(tr("Answers the call (%1 in the console's window)")
                                   .arg(CallKeyBindings::keyName(CallKeyBindings::kAnswer)));
    m_rejectButton->setAccessibleName(tr("Reject"));
    m_rejectButton->setToolTip(tr("Refuses the call (%1 in the console's window)")
                                   .arg(CallKeyBindings::keyName(CallKeyBindings::kReject)));
    m_picture->setAccessibleName(tr("Camera of the calling station"));
    connect(m_answerButton, &ImageButton::released, this, &RingPopup::answerCall);
    connect(m_rejectButton, &ImageButton::released, this, &RingPopup::rejectCall);

    placeAtSlide();
    WindowStyling::setTopmost(this, true);
    WindowStyling::setTransparency(this, kOpacity);

    m_slideTimer->setInterval(RingSlide::kTickMs);
    connect(m_slideTimer, &QTimer::timeout, this, &RingPopup::slideStep);
    m_slideTimer->start();
}

RingPopup::~RingPopup() = default;

void RingPopup::setCaller(const QString& text)
{
    m_caller->setText(text);
}

QString RingPopup::caller() const
{
    return m_caller->text();
}

void RingPopup::setPicture(const QImage& picture)
{
    m_picture->setPicture(picture);
}

void RingPopup::placeAtSlide()
{
    move(m_screenOrigin + QPoint(Twips::toPx(m_slide.left()), Twips::toPx(m_slide.top())));
}

void RingPopup::rejectCall()
{
    emit rejected();
    buttonUsed();
}

void RingPopup::answerCall()
{
    emit answered();
    buttonUsed();
}

void RingPopup::buttonUsed()
{
    m_slide.buttonUsed();
    if (!m_slideTimer->isActive())
        m_slideTimer->start();
}

void RingPopup::slideStep()
{
    const RingSlide::Tick result = m_slide.tick();
    placeAtSlide();
    switch (result) {
    case RingSlide::Tick::Moved:
        break;
    case RingSlide::Tick::Rested:
    case RingSlide::Tick::Stopped:
        m_slideTimer->stop();
        break;
    case RingSlide::Tick::SlidOut:
        m_slideTimer->stop();
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
    m_slideTimer->stop();
    QWidget::closeEvent(e);
}
