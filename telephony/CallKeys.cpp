#include "CallKeys.h"

#include "CallControl.h"
#include "CallKeyBindings.h"

#include <QShortcut>
#include <QWidget>

CallKeys::CallKeys(QWidget& window, CallControl& control)
    : QObject(&window)
{
    auto bind = [&](const QKeySequence& key, void (CallControl::*action)()) {
        auto* shortcut = new QShortcut(key, &window);
        shortcut->setContext(Qt::WindowShortcut);
        // Held down, a key repeats: one press, one action.
        shortcut->setAutoRepeat(false);
        connect(shortcut, &QShortcut::activated, &control, action);
    };
    using namespace CallKeyBindings;
    bind(kAnswer, &CallControl::answerRinging);
    bind(kAnswerKeypad, &CallControl::answerRinging);
    bind(kReject, &CallControl::rejectRinging);
    bind(kHangUp, &CallControl::hangUp);
}
