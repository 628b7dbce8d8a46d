#include "TrayIcon.h"

#include <QMenu>
#include <QSystemTrayIcon>

QtTrayIcon::QtTrayIcon(QObject* parent)
    : TrayIcon(parent)
    , m_icon(new QSystemTrayIcon(this))
    , m_menu(new QMenu())
{
    m_menu->setObjectName(QStringLiteral("Tray"));
    m_menu->setTitle(QStringLiteral("Tray"));
    connect(m_menu->addAction(tr("Apri")), &QAction::triggered, this, &TrayIcon::openRequested);
    connect(m_menu->addAction(tr("History")), &QAction::triggered, this, &TrayIcon::historyRequested);
    connect(m_menu->addAction(tr("Esci")), &QAction::triggered, this, &TrayIcon::exitRequested);
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            emit leftClicked();
    });
}

QtTrayIcon::~QtTrayIcon()
{
    m_icon->hide();
    delete m_menu;
}

bool QtTrayIcon::isAvailable() const
{
    // Asked each time: a tray host started after the console appears later.
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayIcon::showIcon(const QIcon& icon, const QString& tip)
{
    m_icon->setIcon(icon);
    m_icon->setToolTip(tip);
    m_icon->show();
}

void QtTrayIcon::hideIcon()
{
    m_icon->hide();
}

void QtTrayIcon::setTip(const QString& tip)
{
    m_icon->setToolTip(tip);
}

bool QtTrayIcon::isShown() const
{
    return m_icon->isVisible();
}
