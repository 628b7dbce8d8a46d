#pragma once

#include "Logger.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <functional>

/// The console's event log: one time-stamped entry per write call, appended
/// to a plain-text file that is opened and closed again for every entry, so
/// other programs may read or copy it while the console runs.
///
/// Entry: time stamp, one blank, the prepared text, CR LF. The time stamp is
/// the system locale's short date, a blank and its long time without the time
/// zone (the long time format of most locales ends in a zone name, which the
/// log never carried). Text is written in the locale's 8-bit encoding (UTF-8
/// on Linux).
class EventLog : public Logger
{
public:
    using Clock = std::function<QDateTime()>;

    /// fileName: the log file; a relative name is resolved against the current
    /// working directory at each write. clock: the time source for the stamps,
    /// the local time when empty.
    explicit EventLog(QString fileName = QStringLiteral("qz.log"), Clock clock = {});

    /// Appends one entry. A file that cannot be opened or written loses the
    /// entry: nothing is thrown, and one warning is printed for the first
    /// failure only.
    void write(const QString& text) override;

    /// The message as it is logged: NUL characters become blanks, then leading
    /// and trailing blanks (code 32 only) are removed. Tabs, CR and LF stay.
    static QString prepareText(const QString& text);

    /// "short date" + " " + "long time without zone" in the given locale.
    static QString formatTimeStamp(const QDateTime& when, const QLocale& locale);

    /// The bytes of one entry, line end included.
    static QByteArray formatEntry(const QDateTime& when, const QLocale& locale, const QString& text);

private:
    QString m_fileName;
    Clock m_clock;
    bool m_failureReported = false;
};
