#pragma once

#include <QKeySequence>

/// The keys that serve a call from the keyboard, for the windows that act on
/// them and for the tooltips that name them.
namespace CallKeyBindings {

inline const QKeySequence kAnswer{Qt::Key_Return};
inline const QKeySequence kAnswerKeypad{Qt::Key_Enter};
inline const QKeySequence kReject{Qt::Key_Escape};
inline const QKeySequence kHangUp{Qt::Key_End};

/// A key as the operator's keyboard labels it, in the operator's language.
inline QString keyName(const QKeySequence& key)
{
    return key.toString(QKeySequence::NativeText);
}

} // namespace CallKeyBindings
