#pragma once

#include <QImage>
#include <QWidget>

/// A camera picture stretched to the control's size. Paints the shared image
/// directly: no pixmap copy per picture.
class PictureView : public QWidget
{
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    /// A null image clears the view. The view keeps a shallow copy.
    void setPicture(const QImage& picture);
    QImage picture() const { return m_picture; }
    /// The size worth decoding a snapshot at: the view's size in device pixels.
    QSize sizeInDevicePixels() const;
    /// A coloured frame around the picture, so the station is found at a glance (a call, a door call).
    void setMarked(bool marked);
    bool isMarked() const { return m_marked; }

    static constexpr QRgb kMarkColour = 0xffff8c00; ///< orange, seen on dark and light pictures alike
    static constexpr int kMarkWidthPx = 4;

signals:
    /// A mouse button was released over the picture.
    void clicked();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    QImage m_picture;
    bool m_marked = false;
};
