#pragma once

#include "ZoomLayout.h"
#include "ZoomPlacement.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

class ImageButton;
class SettingsStore;

/// frmZoom: one station's camera picture, large, with its own telephone, lock
/// and light buttons. A click on the picture closes it. The window knows
/// nothing of stations: ZoomController gives it the station's description,
/// picture and telephone image and forwards its buttons with the zoomed
/// station's index.
///
/// Creation restores the saved placement ("zwstate", "zwleft", "zwtop",
/// "zwwidth", "zwheight"); every close writes it back. The layout runs on
/// every resize.
class ZoomWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kTelIconPx = 32;

    /// settings must outlive the window. A top-level window (no parent).
    explicit ZoomWindow(SettingsStore& settings, QWidget* parent = nullptr);
    ~ZoomWindow() override;

    /// Caption "Zoom " + description + " - Click to close".
    void setDescription(const QString& description);

    /// The picture drawn stretched over imgCam; a null image shows nothing.
    /// The window keeps a shallow copy (the pixels stay shared).
    void setPicture(const QImage& picture);
    QImage picture() const { return m_picture; }

    /// Shows one of the telephone images "tel_n", "tel_v", "tel_b", "tel_r" on cmdTel.
    void setTelImage(const QString& key);
    QString telImage() const { return m_telKey; }

    /// Into (true) or out of the always-on-top band.
    void setTopmost(bool onTop);
    bool isTopmost() const;

    /// Where imgCam is drawn, device-independent pixels.
    QRect pictureRect() const { return m_pictureRect; }
    /// imgCam's size in device pixels, the size worth decoding a snapshot at.
    QSize pictureSize() const;

    ImageButton* cmdTel() const { return m_cmdTel; }
    ImageButton* cmdLock() const { return m_cmdLock; }
    ImageButton* cmdLight() const { return m_cmdLight; }
    const ZoomLayoutControls& layoutControls() const { return m_layout; }

    /// The placement as it is now: state and outer frame in twips.
    ZoomPlacement currentPlacement() const;

signals:
    /// Press (or double-click) and release of the window's own buttons.
    void cmdTelPressed();
    void cmdTelReleased();
    void cmdLockPressed();
    void cmdLockReleased();
    void cmdLightPressed();
    void cmdLightReleased();
    /// The window was closed (by a click on the picture, its close command or
    /// close()); the placement has been written.
    void closed();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void restorePlacement();
    void Form_Resize();
    void applyLayout();

    SettingsStore& m_settings;
    ZoomLayoutControls m_layout;
    QRect m_pictureRect;
    QImage m_picture;
    QString m_telKey;
    ImageButton* m_cmdTel;
    ImageButton* m_cmdLock;
    ImageButton* m_cmdLight;
};
