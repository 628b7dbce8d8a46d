#include "ZoomController.h"

#include "ConfigRecord.h"
#include "PictureView.h"
#include "ZoomWindow.h"

ZoomController::ZoomController(const ConfigRecord& record, SettingsStore& settings, int& zoomedStation,
                               QObject* parent)
    : QObject(parent)
    , m_record(record)
    , m_settings(settings)
    , m_zoomedStation(zoomedStation)
{
}

ZoomController::~ZoomController()
{
    if (m_window) {
        m_window->disconnect(this);
        delete m_window;
    }
}

void ZoomController::createWindow()
{
    m_window = new ZoomWindow(m_settings);
    ZoomWindow* w = m_window;
    auto forward = [this, w](void (ZoomWindow::*from)(), void (ZoomController::*to)(int)) {
        connect(w, from, this, [this, to]() {
            if (m_zoomedStation >= 0)
                emit(this->*to)(m_zoomedStation);
        });
    };
    forward(&ZoomWindow::telephonePressed, &ZoomController::telephonePressed);
    forward(&ZoomWindow::telephoneReleased, &ZoomController::telephoneReleased);
    forward(&ZoomWindow::lockPressed, &ZoomController::lockPressed);
    forward(&ZoomWindow::lockReleased, &ZoomController::lockReleased);
    forward(&ZoomWindow::lightPressed, &ZoomController::lightPressed);
    forward(&ZoomWindow::lightReleased, &ZoomController::lightReleased);
    connect(w, &ZoomWindow::closed, this, &ZoomController::windowClosed);
}

void ZoomController::open(int station, const QImage& picture, const QString& telephoneImage, bool inCall)
{
    if (station < 0 || station >= ConfigRecord::kStations)
        return;
    if (!m_window)
        createWindow();
    m_window->setDescription(m_record.description[station]);
    m_window->setPicture(picture);
    m_window->setTelephoneImage(telephoneImage);
    m_zoomedStation = station;
    m_window->show();
    if (inCall)
        m_window->setTopmost(true);
}

void ZoomController::close()
{
    if (m_window)
        m_window->close();
    m_zoomedStation = -1;
}

void ZoomController::windowClosed()
{
    m_zoomedStation = -1;
    if (m_window) {
        ZoomWindow* w = m_window;
        m_window = nullptr;
        w->disconnect(this);
        // Closing runs inside the window's own event handling.
        w->deleteLater();
    }
    emit closed();
}

void ZoomController::setTelephoneImage(int station, const QString& key)
{
    if (m_window && station == m_zoomedStation)
        m_window->setTelephoneImage(key);
}

void ZoomController::setTopmost(bool onTop)
{
    if (m_window)
        m_window->setTopmost(onTop);
}

QSize ZoomController::shownPictureSize() const
{
    return m_window ? m_window->pictureView()->sizeInDevicePixels() : QSize();
}

void ZoomController::showPicture(const QImage& picture)
{
    if (m_window && m_zoomedStation >= 0)
        m_window->setPicture(picture);
}
