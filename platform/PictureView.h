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

signals:
    /// A mouse button was released over the picture.
    void clicked();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    QImage m_picture;
};
