// The event log lines of a station's outage, per fault kind at the pace its channel fails, on a moved clock.

#include "FailureLogPolicy.h"

#include <QRegularExpression>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestFailureLogPolicy : public QObject
{
    Q_OBJECT
private slots:
    void tenMinutesDownThenBack_data()
    {
        QTest::addColumn<int>("periodMs"); // between two failed attempts
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("subject");
        const std::tuple<const char*, int, const char*> rows[] = {
            {"camera refused", 500, "GetPicFromHTTP 1 Connection refused"},
            {"camera never answers", 1000, "GetPicFromHTTP 5 Operation canceled"},
            {"camera garbage", 500, "GetPicFromHTTP not a JPEG picture (image/jpeg, 16384 bytes)"},
            {"camera web page", 500, "GetPicFromHTTP not a JPEG picture (text/html, 121 bytes)"},
            {"relay pressed every 20 s", 20000, "rel\u00e8 1 Connection refused"},
            {"call socket at each reopen", 60220, "sock Connection refused"}};
        for (const auto& [name, periodMs, fault] : rows)
            QTest::newRow(name) << periodMs << QString::fromUtf8(fault) + u" (Varco 3)"_s
                                << QString::fromUtf8(fault).section(u' ', 0, 0) + u" (Varco 3)"_s;
    }

    void tenMinutesDownThenBack()
    {
        QFETCH(int, periodMs);
        QFETCH(QString, fault);
        QFETCH(QString, subject);
        qint64 nowMs = 1000;
        FailureLogPolicy policy([&nowMs] { return nowMs; });
        QList<std::pair<qint64, QString>> lines; // when, what
        QList<qint64> failures;
        for (; nowMs < 1000 + 10 * 60 * 1000; nowMs += periodMs) {
            failures << nowMs;
            if (const QString line = policy.failed(2, fault); !line.isEmpty())
                lines.append({nowMs, line});
            QVERIFY(policy.succeeded(5, u"other"_s).isEmpty()); // another station works on
        }
        nowMs = 1000 + 10 * 60 * 1000;
        lines.append({nowMs, policy.succeeded(2, subject)});
        QVERIFY(policy.succeeded(2, subject).isEmpty()); // once

        QVERIFY2(lines.size() <= 15, qPrintable(QString::number(lines.size())));
        QCOMPARE(lines.first(), std::make_pair(qint64(1000), fault)); // the fault as it happened
        QCOMPARE(lines.last().second, subject + u" works again after 10 min"_s);
        // Between them a count once a minute while failures come, each of those since the line before.
        const QRegularExpression count(
            u"^%1: (\\d+) more failures? in the last minute$"_s.arg(QRegularExpression::escape(fault)));
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qint64 fromMs = lines[i - 1].first, toMs = lines[i].first;
            QVERIFY(toMs - fromMs >= FailureLogPolicy::kCountIntervalMs || i == lines.size() - 1);
            QCOMPARE_LT(toMs - fromMs, FailureLogPolicy::kCountIntervalMs + periodMs);
            const QRegularExpressionMatch m = count.match(lines[i].second);
            QVERIFY2(m.hasMatch() || i == lines.size() - 1, qPrintable(lines[i].second));
            const auto counted = [&](qint64 t) { return t > fromMs && t <= toMs; };
            if (m.hasMatch())
                QCOMPARE(m.captured(1).toLongLong(), std::count_if(failures.begin(), failures.end(), counted));
        }
    }

    void flappingStationStaysBounded()
    {
        // Every other attempt fails for ten minutes: at most a failure or count line and a recovery a minute.
        qint64 nowMs = 0;
        FailureLogPolicy policy([&nowMs] { return nowMs; });
        QStringList lines;
        for (; nowMs < 10 * 60 * 1000; nowMs += 500)
            lines << ((nowMs / 500) % 2 == 0 ? policy.failed(0, u"F"_s) : policy.succeeded(0, u"S"_s));
        lines.removeAll(QString());
        QVERIFY2(lines.size() <= 2 * 10, qPrintable(lines.join(u'|')));
        QCOMPARE(lines.filter(u"S works again after "_s).size(), lines.size() / 2);
        QCOMPARE(lines.mid(0, 3), (QStringList{u"F"_s, u"S works again after 1 s"_s,
                                               u"F: 60 more failures in the last minute"_s})); // those since the first
    }
};

QTEST_GUILESS_MAIN(TestFailureLogPolicy)
#include "test_failurelogpolicy.moc"
