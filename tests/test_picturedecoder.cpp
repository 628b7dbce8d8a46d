// Camera pictures decoded at the size they are shown: the libjpeg scale chosen, the picture intact, and bodies
// that are no picture (garbage, cut short, too large, or a header that claims too much) refused.

#include "PictureDecoder.h"

#include <QBuffer>
#include <QPainter>
#include <QtTest>

namespace {

const QColor Quadrants[] = {QColor(220, 30, 30), QColor(30, 220, 30), QColor(30, 30, 220), QColor(230, 230, 230)};

/// Four quadrants of their own colour: a scaled decode must keep each in its place.
QByteArray quadrantJpeg(const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int q = 0; q < 4; ++q)
        painter.fillRect(QRect(QPoint(q % 2 * size.width() / 2, q / 2 * size.height() / 2), size), Quadrants[q]);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

} // namespace

class TestPictureDecoder : public QObject
{
    Q_OBJECT
private slots:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QSize>("display");
        QTest::addColumn<QSize>("decoded"); // the smallest eighth of the picture that covers the display; none: refused
        const QByteArray vga = quadrantJpeg(QSize(640, 480));
        QTest::newRow("tile of a 1280x800 window") << vga << QSize(299, 189) << QSize(320, 240);
        QTest::newRow("an eighth step exactly") << vga << QSize(160, 120) << QSize(160, 120);
        QTest::newRow("never below an eighth") << vga << QSize(10, 10) << QSize(80, 60);
        QTest::newRow("tall display: its height decides") << vga << QSize(100, 400) << QSize(560, 420);
        QTest::newRow("empty display: full size") << vga << QSize(0, 0) << QSize(640, 480);
        QTest::newRow("not a multiple of 8") << quadrantJpeg(QSize(644, 484)) << QSize(300, 200) << QSize(322, 242);
        QByteArray bomb = vga; // the frame header (FF C0, length, precision, height, width) claims 60000 x 60000
        bomb.replace(bomb.indexOf("\xFF\xC0") + 5, 4, "\xEA\x60\xEA\x60");
        QTest::newRow("60000 x 60000 header") << bomb << QSize(299, 189) << QSize();
        QTest::newRow("4112 x 4096 picture") << quadrantJpeg(QSize(4112, 4096)) << QSize() << QSize();
        QTest::newRow("truncated") << vga.left(vga.size() / 2) << QSize(299, 189) << QSize();
        QTest::newRow("empty") << QByteArray() << QSize(299, 189) << QSize();
        QTest::newRow("html") << QByteArray("<html><body>Not found</body></html>") << QSize() << QSize();
        QTest::newRow("garbage") << QByteArray(4096, '\x5A') << QSize(299, 189) << QSize();
    }

    void decode()
    {
        QFETCH(QByteArray, body);
        QFETCH(QSize, display);
        QFETCH(QSize, decoded);
        const QImage image = PictureDecoder::decode(body, display);
        QCOMPARE(image.isNull() ? QSize() : image.size(), decoded);
        const QSize quarter = image.size() / 4;
        for (int q = 0; q < 4 && !image.isNull(); ++q) {
            const QColor got = image.pixelColor((q % 2 * 2 + 1) * quarter.width(), (q / 2 * 2 + 1) * quarter.height());
            const QColor& c = Quadrants[q];
            const int off = qAbs(got.red() - c.red()) + qAbs(got.green() - c.green()) + qAbs(got.blue() - c.blue());
            QVERIFY2(off < 48, qPrintable(got.name()));
        }
    }
};

QTEST_MAIN(TestPictureDecoder)
#include "test_picturedecoder.moc"
