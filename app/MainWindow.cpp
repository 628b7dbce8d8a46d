#include "MainWindow.h"

#include "Artwork.h"
#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "ImageButton.h"
#include "PictureView.h"
#include "Twips.h"

#include <QEvent>
#include <QLabel>
#include <QPixmap>
#include <QResizeEvent>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace {

constexpr int kTileIconPx = 32;
constexpr int kCommandIconPx = 35;

QRect toPx(const TwipRect& r)
{
    return Twips::toPx(r.left, r.top, r.width, r.height);
}

void setTextColour(QLabel* label, const QColor& colour)
{
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
}

} // namespace

struct MainWindow::Tile
{
    PictureView* imgCam;
    QLabel* lblVarco;
    QLabel* lblImage;
    ImageButton* cmdTel;
    ImageButton* cmdLock;
    ImageButton* cmdLight;
};

MainWindow::MainWindow(const ConfigRecord& record, ConsoleState& state, QWidget* parent)
    : QWidget(parent)
    , m_record(record)
    , m_state(state)
    , m_layout(MainLayoutControls::design())
    , m_timer1(new QTimer(this))
    , m_timer2(new QTimer(this))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("QZ Video Console v. 1.06 - Varelia"));
    setWindowIcon(Artwork::icon(QStringLiteral("app")));
    resize(Twips::toPx(kDesignWidthTwips, kDesignHeightTwips));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x40, 0x40, 0x40));
    setPalette(pal);

    // Pictures first, so every tile's labels and buttons are drawn over them.
    for (int i = 0; i < kStations; ++i) {
        auto* tile = new Tile{};
        tile->imgCam = new PictureView(this);
        tile->imgCam->setObjectName(QStringLiteral("imgCam(%1)").arg(i));
        tile->imgCam->installEventFilter(this);
        m_tiles[i] = tile;
    }
    for (int i = 0; i < kStations; ++i) {
        Tile* tile = m_tiles[i];
        tile->lblImage = new QLabel(QStringLiteral("No image available"), this);
        tile->lblImage->setObjectName(QStringLiteral("lblImage(%1)").arg(i));
        tile->lblImage->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        tile->lblImage->setAttribute(Qt::WA_TransparentForMouseEvents);
        setTextColour(tile->lblImage, QColor(0xE0, 0xE0, 0xE0));

        tile->lblVarco = new QLabel(this);
        tile->lblVarco->setObjectName(QStringLiteral("lblVarco(%1)").arg(i));
        tile->lblVarco->setAttribute(Qt::WA_TransparentForMouseEvents);
        setTextColour(tile->lblVarco, QColor(0xFF, 0xFF, 0x00));

        auto makeButton = [this, i](const char* name, const QString& icon) {
            auto* b = new ImageButton(this);
            b->setObjectName(QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(i));
            b->setImage(Artwork::icon(icon), kTileIconPx);
            return b;
        };
        tile->cmdTel = makeButton("cmdTel", QStringLiteral("tel_n"));
        tile->cmdLock = makeButton("cmdLock", QStringLiteral("lock"));
        tile->cmdLight = makeButton("cmdLight", QStringLiteral("light"));
        m_telKeys[i] = QStringLiteral("tel_n");
    }

    const char* commandIcons[] = {"info", "config", "mic"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new ImageButton(this);
        b->setObjectName(QStringLiteral("iCmd(%1)").arg(i));
        b->setImage(Artwork::icon(QLatin1String(commandIcons[i])), i == 2 ? kTileIconPx : kCommandIconPx);
        m_iCmd[i] = b;
    }
    m_iCmd[2]->hide(); // the microphone shows only during a call

    m_image2 = new QLabel(this);
    m_image2->setObjectName(QStringLiteral("Image2"));
    m_image2->setAlignment(Qt::AlignCenter);
    m_image2->setPixmap(Artwork::icon(QStringLiteral("app")).pixmap(QSize(48, 48), devicePixelRatioF()));

    applyLayout();
    for (Tile* tile : m_tiles) {
        for (QWidget* w : std::initializer_list<QWidget*>{tile->imgCam, tile->lblVarco, tile->lblImage, tile->cmdTel,
                                                          tile->cmdLock, tile->cmdLight})
            w->hide();
    }

    m_timer2->setInterval(kTimerPeriodMs);
}

MainWindow::~MainWindow()
{
    for (Tile* tile : m_tiles)
        delete tile;
}

PictureView* MainWindow::imgCam(int station) const
{
    return m_tiles.at(station)->imgCam;
}

QLabel* MainWindow::lblVarco(int station) const
{
    return m_tiles.at(station)->lblVarco;
}

QLabel* MainWindow::lblImage(int station) const
{
    return m_tiles.at(station)->lblImage;
}

ImageButton* MainWindow::cmdTel(int station) const
{
    return m_tiles.at(station)->cmdTel;
}

ImageButton* MainWindow::cmdLock(int station) const
{
    return m_tiles.at(station)->cmdLock;
}

ImageButton* MainWindow::cmdLight(int station) const
{
    return m_tiles.at(station)->cmdLight;
}

void MainWindow::setStationPicture(int station, const QImage& picture)
{
    imgCam(station)->setPicture(picture);
}

QImage MainWindow::stationPicture(int station) const
{
    return imgCam(station)->picture();
}

QSize MainWindow::stationPictureSize(int station) const
{
    return imgCam(station)->size() * devicePixelRatioF();
}

void MainWindow::setNoImageShown(int station, bool shown)
{
    lblImage(station)->setVisible(shown);
}

void MainWindow::setTelImage(int station, const QString& key)
{
    m_telKeys.at(station) = key;
    cmdTel(station)->setImage(Artwork::icon(key), kTileIconPx);
}

void MainWindow::setMuteLook(bool muted)
{
    ImageButton* mic = m_iCmd[2];
    mic->setImage(Artwork::icon(muted ? QStringLiteral("mic_muted") : QStringLiteral("mic")), kTileIconPx);
    mic->setFrameShape(muted ? QFrame::Box : QFrame::NoFrame);
}

void MainWindow::layOut()
{
    Form_Resize();
}

void MainWindow::Form_Resize()
{
    if (isMinimized() && m_state.inTray == 0) {
        if (m_minimizeHandler)
            m_minimizeHandler();
        return;
    }
    std::array<bool, kStations> active{};
    std::array<QString, kStations> descriptions;
    for (int i = 0; i < kStations; ++i) {
        active[i] = m_record.active[i] != 0;
        descriptions[i] = m_record.description[i];
    }
    const QRect frame = frameGeometry();
    TileLayout::layOut(m_layout, Twips::fromPx(frame.width()), Twips::fromPx(frame.height()), active, descriptions);
    applyLayout();
}

void MainWindow::applyLayout()
{
    for (int i = 0; i < kStations; ++i) {
        const TileControls& c = m_layout.tiles[i];
        Tile* tile = m_tiles[i];
        tile->imgCam->setGeometry(toPx(c.imgCam));
        tile->cmdTel->setBaseGeometry(toPx(c.cmdTel));
        tile->cmdLock->setBaseGeometry(toPx(c.cmdLock));
        tile->cmdLight->setBaseGeometry(toPx(c.cmdLight));
        tile->lblVarco->setText(c.caption);
        tile->lblVarco->move(toPx(c.lblVarco).topLeft());
        tile->lblVarco->adjustSize(); // a long description is not cut at the design width
        tile->lblImage->setGeometry(toPx(c.lblImage));
        for (QWidget* w : std::initializer_list<QWidget*>{tile->imgCam, tile->lblVarco, tile->lblImage, tile->cmdTel,
                                                          tile->cmdLock, tile->cmdLight})
            w->setVisible(c.visible);
    }
    for (int i = 0; i < 3; ++i)
        m_iCmd[i]->setBaseGeometry(toPx(m_layout.iCmd[i]));
    m_image2->setGeometry(toPx(m_layout.image2));
}

void MainWindow::showWithPlacement(int windowState, double leftTwips, double topTwips, double widthTwips,
                                   double heightTwips)
{
    // Width and height are the outer frame; the frame's thickness is known
    // only once the window exists, so take it from the window system now.
    create();
    const QRect frame = Twips::toPx(leftTwips, topTwips, widthTwips, heightTwips);
    const QMargins margins = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const int clientWidth = std::max(1, frame.width() - margins.left() - margins.right());
    const int clientHeight = std::max(1, frame.height() - margins.top() - margins.bottom());
    move(frame.topLeft());
    resize(clientWidth, clientHeight);
    if (windowState == 2)
        showMaximized();
    else
        showNormal();
}

bool MainWindow::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate && !m_activatedOnce) {
        m_activatedOnce = true;
        emit firstActivated();
    }
    return QWidget::event(e);
}

void MainWindow::closeEvent(QCloseEvent* e)
{
    emit closing();
    QWidget::closeEvent(e);
}

void MainWindow::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    Form_Resize();
}

void MainWindow::changeEvent(QEvent* e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange)
        Form_Resize();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::MouseButtonRelease) {
        for (int i = 0; i < kStations; ++i) {
            if (watched == m_tiles[i]->imgCam) {
                emit pictureClicked(i);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, e);
}
