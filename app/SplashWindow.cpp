#include "SplashWindow.h"

#include "Twips.h"
#include "WindowFonts.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

SplashWindow::SplashWindow(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("splash"));
    setFixedSize(Twips::toPx(2820, 990));
    setFont(WindowFonts::dialogFont());
    auto* label = new QLabel(tr("Initialization..."), this);
    label->setObjectName(QStringLiteral("splashLabel"));
    label->setGeometry(Twips::toPx(675, 375, 1890, 390));
}

void SplashWindow::showCentred()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.center() - rect().center());
    }
    show();
    raise();
    repaint();
}
