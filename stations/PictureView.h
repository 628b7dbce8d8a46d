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

    /// A null image clears the view.
    void setPicture(const QImage& picture);
    QImage picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QImage m_picture;
};
