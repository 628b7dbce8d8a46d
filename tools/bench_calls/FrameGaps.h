#pragma once

#include <QElapsedTimer>

#include <vector>

/// The gaps between consecutive camera frames of each station within a window: feed it every frame
/// (SnapshotPoller::frameReceived) with its station. A station's first gap in the window runs from its last
/// frame before the window (or from the window's start, if it had none); at the window's end the gap still
/// open counts too, so a camera that stops delivering shows.
class FrameGaps
{
public:
    /// Stations 0 .. stations - 1 are watched.
    explicit FrameGaps(int stations);

    /// Opens a window now (the previous window's figures are forgotten).
    void start();
    /// A frame of station arrived now; outside a window it only marks the station's last frame.
    void frame(int station);
    /// Closes the window now.
    void finish();

    /// Longest gap of any station in the last window, ms, and its station (-1 when none is watched).
    double longestMs() const;
    int longestStation() const;
    /// Frames of every station in the last window.
    qint64 frames() const { return m_frames; }

private:
    QElapsedTimer m_clock;
    std::vector<qint64> m_lastNs;
    std::vector<qint64> m_longestNs;
    qint64 m_windowStartNs = 0;
    qint64 m_frames = 0;
    bool m_open = false;
};
