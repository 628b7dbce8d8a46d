#pragma once

#include <QObject>

class CallControl;
class QWidget;

/// The call keys of a console window (CallKeyBindings): Return (and the
/// keypad's Enter) answers the ringing call, Escape refuses it, End hangs up a
/// call placed or answered. Window shortcuts: they act only while that window is the active
/// one, so a key typed in another program never reaches a call.
class CallKeys : public QObject
{
    Q_OBJECT
public:
    /// window and control must outlive the keys; the keys are children of window.
    CallKeys(QWidget& window, CallControl& control);
};
