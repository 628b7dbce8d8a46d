#pragma once

#include "WindowPlacement.h"
#include "ZoomLayout.h"

#include <QImage>
#include <QString>
#include <QWidget>

class ImageButton;
class PictureView;
class SettingsStore;

/// One station's camera picture, large, with its own telephone, lock and light
/// buttons. A click on the picture closes it. The window knows nothing of
/// stations: ZoomController gives it the station's description, picture and
/// telephone image and forwards its buttons with the zoomed station's index.
///
/// Creation restores the saved placement (prefix "zw"); every close writes it
/// back. The layout runs on every resize.
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
    /// The picture drawn stretched over the picture area; a null image shows
    /// nothing. The window keeps a shallow copy (the pixels stay shared).
    void setPicture(const QImage& picture);
    QImage picture() const;
    /// Shows one of the telephone images "tel_n", "tel_v", "tel_b", "tel_r".
    void setTelephoneImage(const QString& key);
    QString telephoneImage() const { return m_telKey; }
    /// Into (true) or out of the always-on-top band.
    void setTopmost(bool onTop);
    bool isTopmost() const;

    PictureView* pictureView() const { return m_picture; }
    ImageButton* telephoneButton() const { return m_telephoneButton; }
    ImageButton* lockButton() const { return m_lockButton; }
    ImageButton* lightButton() const { return m_lightButton; }
    const ZoomLayoutControls& layoutControls() const { return m_layout; }

signals:
    /// Press (or double-click) and release of the window's own buttons.
    void telephonePressed();
    void telephoneReleased();
    void lockPressed();
    void lockReleased();
    void lightPressed();
    void lightReleased();
    /// The window was closed (by a click on the picture, its close command or
    /// close()); the placement has been written.
    void closed();

protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void layOut();

    SettingsStore& m_settings;
    ZoomLayoutControls m_layout;
    QString m_telKey;
    PictureView* m_picture;
    ImageButton* m_telephoneButton;
    ImageButton* m_lockButton;
    ImageButton* m_lightButton;
};
