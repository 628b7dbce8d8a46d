#pragma once

#include <QIcon>
#include <QLabel>

/// An image used as a button. Any mouse button presses it: on press and on
/// double-click it moves 30 twips right and down, on release it emits
/// released() and moves back, so a double-click (press, release, double-click,
/// release) ends where it started. Tab reaches it and the space bar presses it
/// the same way; a focused button wears a frame. Return does not press it:
/// in the console Return answers a call, and must never open a door instead.
class ImageButton : public QLabel
{
    Q_OBJECT
public:
    static constexpr double kPressOffsetTwips = 30;

    explicit ImageButton(QWidget* parent = nullptr);

    /// Shows icon at iconSizePx, centred in the button.
    void setImage(const QIcon& icon, int iconSizePx);
    /// Where the layout puts the button; the pressed offset comes on top.
    void setBaseGeometry(const QRect& rect);
    bool isPressed() const { return m_pressCount > 0; }

    /// The pressed look without a press: when another window forwards its own
    /// button's press here (the zoom window's buttons move the tile's too).
    /// Emits nothing. releaseLook() undoes one pressLook() and does nothing
    /// on a button at rest.
    void pressLook();
    void releaseLook();

    /// A press and its release, as a screen reader's "press" action does it.
    void click();

    /// A short text (a count) in a small red mark at the top right corner; empty hides it.
    void setBadge(const QString& text);
    QString badge() const { return m_badge; }

signals:
    void pressed();
    /// The mouse-up of a press: the button's action.
    void released();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void press();
    void release();
    void applyGeometry();
    void renderImage();

    QRect m_base;
    int m_pressCount = 0;
    QIcon m_icon;
    int m_iconSizePx = 32;
    QString m_badge;
    bool m_keyPressed = false;
};
