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
/// The file is bounded: an entry that would take it past the size limit goes
/// to a fresh file, and the full one is kept as FILE.1 (FILE.1 becomes FILE.2,
/// FILE.2 FILE.3; the old FILE.3 goes). Entries are never split between two
/// files. A rotation that cannot be done leaves the entry in the full file.
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

    static constexpr qint64 kMaxBytes = 10 * 1024 * 1024;
    /// Full files kept beside the current one: FILE.1 (the newest) .. FILE.3.
    static constexpr int kKeptFiles = 3;

    /// fileName: the log file; a relative name is resolved against the current
    /// working directory at each write. clock: the time source for the stamps,
    /// the local time when empty. maxBytes: the size limit of one file (0: none).
    explicit EventLog(QString fileName = QStringLiteral("qz.log"), Clock clock = {}, qint64 maxBytes = kMaxBytes);

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
    /// Moves the full file aside as FILE.1, shifting the older ones.
    void rotate();

    QString m_fileName;
    Clock m_clock;
    qint64 m_maxBytes;
    bool m_failureReported = false;
};
