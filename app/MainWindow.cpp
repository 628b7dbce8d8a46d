#include "MainWindow.h"

#include "Artwork.h"
#include "ConfigRecord.h"
#include "CallKeyBindings.h"
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
    PictureView* pictureView;
    QLabel* captionLabel;
    QLabel* noImageLabel;
    ImageButton* telephoneButton;
    ImageButton* lockButton;
    ImageButton* lightButton;
};

MainWindow::MainWindow(const ConfigRecord& record, ConsoleState& state, QWidget* parent)
    : QWidget(parent)
    , m_record(record)
    , m_state(state)
    , m_layout(MainLayoutControls::design())
    , m_snapshotTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("QZ Video Console v. " QZ_VERSION " - Varelia"));
    setWindowIcon(Artwork::icon(QStringLiteral("app")));
    resize(Twips::toPx(kDesignWidthTwips, kDesignHeightTwips));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x40, 0x40, 0x40));
    setPalette(pal);

    // Pictures first, so every tile's labels and buttons are drawn over them.
    for (int i = 0; i < kStations; ++i) {
        auto* tile = new Tile{};
        tile->pictureView = new PictureView(this);
        tile->pictureView->setObjectName(QStringLiteral("pictureView(%1)").arg(i));
        connect(tile->pictureView, &PictureView::clicked, this, [this, i]() { emit pictureClicked(i); });
        m_tiles[i] = tile;
    }
    for (int i = 0; i < kStations; ++i) {
        Tile* tile = m_tiles[i];
        tile->noImageLabel = new QLabel(tr("No image available"), this);
        tile->noImageLabel->setObjectName(QStringLiteral("noImageLabel(%1)").arg(i));
        tile->noImageLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        tile->noImageLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
        setTextColour(tile->noImageLabel, QColor(0xE0, 0xE0, 0xE0));

        tile->captionLabel = new QLabel(this);
        tile->captionLabel->setObjectName(QStringLiteral("captionLabel(%1)").arg(i));
        tile->captionLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
        setTextColour(tile->captionLabel, QColor(0xFF, 0xFF, 0x00));

        auto makeButton = [this, i](const char* name, const QString& icon) {
            auto* b = new ImageButton(this);
            b->setObjectName(QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(i));
            b->setImage(Artwork::icon(icon), kTileIconPx);
            return b;
        };
        tile->telephoneButton = makeButton("telephoneButton", QStringLiteral("tel_n"));
        tile->lockButton = makeButton("lockButton", QStringLiteral("lock"));
        tile->lightButton = makeButton("lightButton", QStringLiteral("light"));
        describeTileControls(i);
        m_telKeys[i] = QStringLiteral("tel_n");
    }

    const char* commandNames[] = {"aboutButton", "settingsButton", "microphoneButton", "historyButton"};
    const char* commandIcons[] = {"info", "config", "mic", "history"};
    for (std::size_t i = 0; i < m_commandButtons.size(); ++i) {
        auto* b = new ImageButton(this);
        b->setObjectName(QLatin1String(commandNames[i]));
        const bool mic = CommandButton(i) == CommandButton::Microphone;
        b->setImage(Artwork::icon(QLatin1String(commandIcons[i])), mic ? kTileIconPx : kCommandIconPx);
        m_commandButtons[i] = b;
    }
    const QString commandTexts[] = {tr("About"), tr("Settings"), tr("Microphone on or off"), tr("History")};
    for (std::size_t i = 0; i < m_commandButtons.size(); ++i) {
        m_commandButtons[i]->setAccessibleName(commandTexts[i]);
        m_commandButtons[i]->setToolTip(commandTexts[i]);
    }
    commandButton(CommandButton::Microphone)->hide();

    m_logo = new QLabel(this);
    m_logo->setObjectName(QStringLiteral("logo"));
    m_logo->setAlignment(Qt::AlignCenter);
    m_logo->setPixmap(Artwork::icon(QStringLiteral("app")).pixmap(QSize(48, 48), devicePixelRatioF()));

    applyLayout();
    for (Tile* tile : m_tiles) {
        for (QWidget* w : std::initializer_list<QWidget*>{tile->pictureView, tile->captionLabel, tile->noImageLabel, tile->telephoneButton,
                                                          tile->lockButton, tile->lightButton})
            w->hide();
    }

}

void MainWindow::describeTileControls(int station)
{
    // A screen reader says the name; the tooltip shows what the button does and its key.
    const Tile* tile = m_tiles[station];
    const int number = station + 1;
    tile->telephoneButton->setAccessibleName(tr("Telephone, station %1").arg(number));
    using namespace CallKeyBindings;
    tile->telephoneButton->setToolTip(tr("Calls the station, answers its call (%1) or hangs up (%2)")
                                          .arg(keyName(kAnswer), keyName(kHangUp)));
    tile->lockButton->setAccessibleName(tr("Open the door, station %1").arg(number));
    tile->lockButton->setToolTip(tr("Opens the door"));
    tile->lightButton->setAccessibleName(tr("Light, station %1").arg(number));
    tile->lightButton->setToolTip(tr("Switches on the light"));
    tile->pictureView->setAccessibleName(tr("Camera, station %1").arg(number));
    tile->pictureView->setToolTip(tr("Click to enlarge"));
}

MainWindow::~MainWindow()
{
    for (Tile* tile : m_tiles)
        delete tile;
}

PictureView* MainWindow::pictureView(int station) const
{
    return m_tiles.at(station)->pictureView;
}

QLabel* MainWindow::captionLabel(int station) const
{
    return m_tiles.at(station)->captionLabel;
}

QLabel* MainWindow::noImageLabel(int station) const
{
    return m_tiles.at(station)->noImageLabel;
}

ImageButton* MainWindow::telephoneButton(int station) const
{
    return m_tiles.at(station)->telephoneButton;
}

ImageButton* MainWindow::lockButton(int station) const
{
    return m_tiles.at(station)->lockButton;
}

ImageButton* MainWindow::lightButton(int station) const
{
    return m_tiles.at(station)->lightButton;
}

void MainWindow::setStationPicture(int station, const QImage& picture)
{
    pictureView(station)->setPicture(picture);
}

QImage MainWindow::stationPicture(int station) const
{
    return pictureView(station)->picture();
}

void MainWindow::setNoImageShown(int station, bool shown)
{
    noImageLabel(station)->setVisible(shown);
}

void MainWindow::setTelephoneImage(int station, const QString& key)
{
    m_telKeys.at(station) = key;
    telephoneButton(station)->setImage(Artwork::icon(key), kTileIconPx);
}

void MainWindow::setMuteLook(bool muted)
{
    ImageButton* mic = commandButton(CommandButton::Microphone);
    mic->setImage(Artwork::icon(muted ? QStringLiteral("mic_muted") : QStringLiteral("mic")), kTileIconPx);
    mic->setFrameShape(muted ? QFrame::Box : QFrame::NoFrame);
}

void MainWindow::setMissedCallBadge(int count)
{
    ImageButton* history = commandButton(CommandButton::History);
    if (count <= 0)
        history->setBadge(QString());
    else
        history->setBadge(count > 99 ? QStringLiteral("99+") : QString::number(count));
}

void MainWindow::layOut()
{
    if (isMinimized() && m_state.inTray == 0) {
        if (m_minimizeHandler)
            m_minimizeHandler();
        return;
    }
    std::array<bool, kStations> active{};
    std::array<QString, kStations> descriptions;
    int activeCount = 0;
    for (int i = 0; i < kStations; ++i) {
        active[i] = m_record.active[i] != 0;
        descriptions[i] = m_record.description[i];
        activeCount += active[i] ? 1 : 0;
    }
    // No button may cover another: the window is never smaller than the active stations' tiles need (a smaller
    // window, or a saved placement smaller than that, grows to it).
    const TileLayout::OuterSize least = TileLayout::minimumOuterSize(activeCount, m_layout);
    const QSize frameExtra = frameGeometry().size() - size();
    const QSize minimum = Twips::toPx(least.width, least.height) - frameExtra;
    if (minimumSize() != minimum)
        setMinimumSize(minimum);
    const QRect frame = frameGeometry();
    TileLayout::layOut(m_layout, Twips::fromPx(frame.width()), Twips::fromPx(frame.height()), active, descriptions);
    applyLayout();
}

void MainWindow::applyLayout()
{
    for (int i = 0; i < kStations; ++i) {
        const TileControls& c = m_layout.tiles[i];
        Tile* tile = m_tiles[i];
        tile->pictureView->setGeometry(toPx(c.pictureView));
        tile->telephoneButton->setBaseGeometry(toPx(c.telephoneButton));
        tile->lockButton->setBaseGeometry(toPx(c.lockButton));
        tile->lightButton->setBaseGeometry(toPx(c.lightButton));
        tile->captionLabel->setText(c.caption);
        tile->captionLabel->move(toPx(c.captionLabel).topLeft());
        tile->captionLabel->adjustSize(); // a long description is not cut at the design width
        tile->noImageLabel->setGeometry(toPx(c.noImageLabel));
        for (QWidget* w : std::initializer_list<QWidget*>{tile->pictureView, tile->captionLabel, tile->noImageLabel, tile->telephoneButton,
                                                          tile->lockButton, tile->lightButton})
            w->setVisible(c.visible);
    }
    for (std::size_t i = 0; i < m_commandButtons.size(); ++i)
        m_commandButtons[i]->setBaseGeometry(toPx(m_layout.commandButtons[i]));
    m_logo->setGeometry(toPx(m_layout.logo));
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
    layOut();
}

void MainWindow::changeEvent(QEvent* e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange)
        layOut();
}
