// Camera pictures decoded at the size they are shown: the libjpeg scale chosen, the picture intact, and
// bodies that are no picture refused.

#include "PictureDecoder.h"

#include <QBuffer>
#include <QColor>
#include <QPainter>
#include <QtTest>

namespace {

// Four quadrants of their own colour: a scaled decode must keep each in its place.
QByteArray quadrantJpeg(const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const int w = size.width() / 2;
    const int h = size.height() / 2;
    painter.fillRect(0, 0, w, h, QColor(220, 30, 30));
    painter.fillRect(w, 0, size.width() - w, h, QColor(30, 220, 30));
    painter.fillRect(0, h, w, size.height() - h, QColor(30, 30, 220));
    painter.fillRect(w, h, size.width() - w, size.height() - h, QColor(230, 230, 230));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

bool near(QRgb actual, const QColor& expected)
{
    return qAbs(qRed(actual) - expected.red()) < 24 && qAbs(qGreen(actual) - expected.green()) < 24
           && qAbs(qBlue(actual) - expected.blue()) < 24;
}

} // namespace

class TestPictureDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decodeSize_data();
    void decodeSize();
    void decodesAtTheChosenScale_data();
    void decodesAtTheChosenScale();
    void refusesBodiesThatAreNoPicture_data();
    void refusesBodiesThatAreNoPicture();
};

void TestPictureDecoder::decodeSize_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("display");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("640x480 in a 1280x800 window's tile") << QSize(640, 480) << QSize(299, 189) << QSize(320, 240);
    QTest::newRow("640x480 in 160x120") << QSize(640, 480) << QSize(160, 120) << QSize(160, 120);
    QTest::newRow("640x480 in 161x120") << QSize(640, 480) << QSize(161, 120) << QSize(240, 180);
    QTest::newRow("640x480 in 80x60") << QSize(640, 480) << QSize(80, 60) << QSize(80, 60);
    QTest::newRow("640x480 in 10x10") << QSize(640, 480) << QSize(10, 10) << QSize(80, 60);
    QTest::newRow("1920x1080 in a tile") << QSize(1920, 1080) << QSize(299, 189) << QSize(480, 270);
    QTest::newRow("1920x1080 in a zoom picture") << QSize(1920, 1080) << QSize(1000, 600) << QSize(1200, 675);
    QTest::newRow("1920x1080 in 1800x1000") << QSize(1920, 1080) << QSize(1800, 1000) << QSize(1920, 1080);
    QTest::newRow("a tall display decides by its height") << QSize(640, 480) << QSize(100, 400) << QSize(560, 420);
    QTest::newRow("picture smaller than the display") << QSize(320, 240) << QSize(640, 480) << QSize(320, 240);
    QTest::newRow("picture as large as the display") << QSize(640, 480) << QSize(640, 480) << QSize(640, 480);
    QTest::newRow("no display size: full size") << QSize(640, 480) << QSize() << QSize(640, 480);
    QTest::newRow("empty display: full size") << QSize(640, 480) << QSize(0, 0) << QSize(640, 480);
    QTest::newRow("size not a multiple of 8 rounds down") << QSize(644, 484) << QSize(300, 200) << QSize(322, 242);
}

void TestPictureDecoder::decodeSize()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, display);
    QFETCH(QSize, expected);
    QCOMPARE(PictureDecoder::decodeSize(picture, display), expected);
}

void TestPictureDecoder::decodesAtTheChosenScale_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("display");

    QTest::newRow("640x480 in a tile") << QSize(640, 480) << QSize(299, 189);
    QTest::newRow("1920x1080 in a tile") << QSize(1920, 1080) << QSize(299, 189);
    QTest::newRow("1920x1080 in a zoom picture") << QSize(1920, 1080) << QSize(1000, 600);
    QTest::newRow("644x484 in 300x200") << QSize(644, 484) << QSize(300, 200);
    QTest::newRow("full size") << QSize(640, 480) << QSize();
}

void TestPictureDecoder::decodesAtTheChosenScale()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, display);
    const QImage image = PictureDecoder::decode(quadrantJpeg(picture), display);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), PictureDecoder::decodeSize(picture, display));
    const int w = image.width();
    const int h = image.height();
    QVERIFY(near(image.pixel(w / 4, h / 4), QColor(220, 30, 30)));
    QVERIFY(near(image.pixel(3 * w / 4, h / 4), QColor(30, 220, 30)));
    QVERIFY(near(image.pixel(w / 4, 3 * h / 4), QColor(30, 30, 220)));
    QVERIFY(near(image.pixel(3 * w / 4, 3 * h / 4), QColor(230, 230, 230)));
}

void TestPictureDecoder::refusesBodiesThatAreNoPicture_data()
{
    QTest::addColumn<QByteArray>("body");

    const QByteArray jpeg = quadrantJpeg(QSize(64, 48));
    QByteArray bomb = jpeg;
    // The frame header (SOF0: FF C0, length, precision, height, width) claims 60000 x 60000 pixels.
    const qsizetype sof = bomb.indexOf("\xFF\xC0");
    QVERIFY(sof > 0);
    bomb[sof + 5] = char(0xEA);
    bomb[sof + 6] = char(0x60);
    bomb[sof + 7] = char(0xEA);
    bomb[sof + 8] = char(0x60);

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("html") << QByteArray("<html><body>Not found</body></html>");
    QTest::newRow("garbage") << QByteArray(4096, '\x5A');
    QTest::newRow("truncated jpeg") << jpeg.left(jpeg.size() / 2);
    QTest::newRow("60000 x 60000 header") << bomb;
}

void TestPictureDecoder::refusesBodiesThatAreNoPicture()
{
    QFETCH(QByteArray, body);
    QVERIFY(PictureDecoder::decode(body, QSize(299, 189)).isNull());
    QVERIFY(PictureDecoder::decode(body).isNull());
}

QTEST_MAIN(TestPictureDecoder)
#include "test_picturedecoder.moc"
