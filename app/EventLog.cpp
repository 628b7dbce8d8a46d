#include "EventLog.h"

#include <QFile>
#include <QtDebug>

namespace {

/// Drops the time-zone fields ('t') from a Qt time format, keeping quoted
/// literals, and tidies the blanks they leave behind.
QString withoutTimeZone(const QString& format)
{
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'') {
            quoted = !quoted;
        } else if (!quoted && c == u't') {
            continue;
        }
        out.append(c);
    }
    while (out.contains(QStringLiteral("  "))) {
        out.replace(QStringLiteral("  "), QStringLiteral(" "));
    }
    return out.trimmed();
}

} // namespace

EventLog::EventLog(QString fileName, Clock clock, qint64 maxBytes)
    : m_fileName(std::move(fileName))
    , m_clock(std::move(clock))
    , m_maxBytes(maxBytes)
{}

void EventLog::write(const QString& text)
{
    const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTime();
    const QByteArray entry = formatEntry(now, QLocale::system(), text);

    QFile file(m_fileName);
    bool opened = file.open(QIODevice::WriteOnly | QIODevice::Append);
    if (opened && m_maxBytes > 0 && file.size() > 0 && file.size() + entry.size() > m_maxBytes) {
        file.close();
        rotate();
        opened = file.open(QIODevice::WriteOnly | QIODevice::Append);
    }
    const bool written = opened && file.write(entry) == entry.size() && file.flush();
    if (!written && !m_failureReported) {
        // The log must never stop the console; say it once for whoever watches stderr.
        m_failureReported = true;
        qWarning("Event log %s cannot be written: %s", qUtf8Printable(m_fileName), qUtf8Printable(file.errorString()));
    }
}

void EventLog::rotate()
{
    const auto kept = [this](int n) { return m_fileName + QLatin1Char('.') + QString::number(n); };
    QFile::remove(kept(kKeptFiles));
    for (int n = kKeptFiles - 1; n >= 1; --n)
        QFile::rename(kept(n), kept(n + 1));
    QFile::rename(m_fileName, kept(1));
}

QString EventLog::prepareText(const QString& text)
{
    QString copy = text;
    copy.replace(QChar(u'\0'), QChar(u' '));
    qsizetype first = 0;
    qsizetype last = copy.size();
    while (first < last && copy.at(first) == u' ') {
        ++first;
    }
    while (last > first && copy.at(last - 1) == u' ') {
        --last;
    }
    return copy.sliced(first, last - first);
}

QString EventLog::formatTimeStamp(const QDateTime& when, const QLocale& locale)
{
    const QString date = locale.toString(when.date(), QLocale::ShortFormat);
    const QString time = locale.toString(when.time(), withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
    return date + u' ' + time;
}

QByteArray EventLog::formatEntry(const QDateTime& when, const QLocale& locale, const QString& text)
{
    return (formatTimeStamp(when, locale) + u' ' + prepareText(text) + QStringLiteral("\r\n")).toLocal8Bit();
}
