#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

/// The console's icon in the notification area.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    /// False where the desktop has no notification area.
    virtual bool isAvailable() const = 0;
    /// showIcon: shows the icon with its tip.
    virtual void showIcon(const QIcon& icon, const QString& tip) = 0;
    /// hideIcon.
    virtual void hideIcon() = 0;
    virtual bool isShown() const = 0;
    /// Changes the tip of the shown icon.
    virtual void setTip(const QString& tip) = 0;

signals:
    /// Left button on the icon.
    void leftClicked();
    /// "Apri" chosen in the icon's menu.
    void openRequested();
    /// "History" chosen in the icon's menu.
    void historyRequested();
    /// "Esci" chosen in the icon's menu.
    void exitRequested();
};

class QSystemTrayIcon;
class QMenu;

/// QSystemTrayIcon with the menu "Tray": "Apri", "History", "Esci" on the right button.
class QtTrayIcon : public TrayIcon
{
    Q_OBJECT
public:
    explicit QtTrayIcon(QObject* parent = nullptr);
    ~QtTrayIcon() override;

    bool isAvailable() const override;
    void showIcon(const QIcon& icon, const QString& tip) override;
    void hideIcon() override;
    bool isShown() const override;
    void setTip(const QString& tip) override;

private:
    QSystemTrayIcon* m_icon;
    QMenu* m_menu;
};
