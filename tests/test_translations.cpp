// The operator's languages: which one the console picks, catalogues that are complete and made from today's
// sources, windows that show only texts of their language's catalogue, and buttons a screen reader can name.

#include "AboutBox.h"
#include "ConfigDialog.h"
#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "FakeSettingsStore.h"
#include "HistoryArchive.h"
#include "HistoryWindow.h"
#include "ImageButton.h"
#include "MainWindow.h"
#include "RingPopup.h"
#include "SplashWindow.h"
#include "Translations.h"
#include "TrayIcon.h"
#include "ZoomWindow.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTableView>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QStringList kLanguages{u"it"_s, u"en"_s, u"de"_s};

QString catalogue(const QString& language)
{
    return QStringLiteral(QZ_SOURCE_DIR "/translations/qzconsole_%1.ts").arg(language);
}

struct Message
{
    QString context, source, translation, type;
};

QList<Message> readCatalogue(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<Message> messages;
    QString context;
    QXmlStreamReader xml(&file);
    while (xml.readNextStartElement() || !xml.atEnd()) {
        if (!xml.isStartElement())
            continue;
        if (xml.name() == "name"_L1)
            context = xml.readElementText();
        else if (xml.name() == "message"_L1)
            messages.append({context, {}, {}, {}});
        else if (xml.name() == "source"_L1)
            messages.last().source = xml.readElementText();
        else if (xml.name() == "translation"_L1) {
            messages.last().type = xml.attributes().value("type"_L1).toString();
            messages.last().translation = xml.readElementText();
        }
    }
    return messages;
}

QSet<QString> placeholders(const QString& text)
{
    QSet<QString> found;
    for (const auto& m : QRegularExpression(u"%\\d"_s).globalMatch(text))
        found.insert(m.captured());
    return found;
}

/// A catalogue text as a pattern for what a window shows, its placeholders filled in.
QRegularExpression shownAs(const QString& text)
{
    QStringList parts = text.split(QRegularExpression(u"%\\d"_s));
    for (QString& part : parts)
        part = QRegularExpression::escape(part);
    const QString pattern = parts.join(u".+"_s);
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                              QRegularExpression::DotMatchesEverythingOption);
}

/// Every text a widget shows or tells a screen reader, with where it was found.
void collectTexts(QWidget* root, QList<QPair<QString, QString>>& texts)
{
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        // The parts of Qt's own controls speak from Qt's catalogue.
        if (w->objectName().startsWith("qt_"_L1) || w->objectName().startsWith("Scroll"_L1))
            continue;
        const QString where = root->objectName() + u'/' + w->objectName();
        for (const QString& t : {w->windowTitle(), w->toolTip(), w->accessibleName()})
            texts.append({t, where});
        if (auto* label = qobject_cast<QLabel*>(w))
            texts.append({label->text(), where});
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            texts.append({button->text(), where});
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < combo->count(); ++i)
                texts.append({combo->itemText(i), where});
        }
        for (QAction* action : w->actions())
            texts.append({action->text(), where});
        if (auto* table = qobject_cast<QTableView*>(w)) {
            const QAbstractItemModel* model = table->model();
            for (int c = 0; c < model->columnCount(); ++c) {
                texts.append({model->headerData(c, Qt::Horizontal).toString(), where});
                for (int r = 0; r < model->rowCount(); ++r)
                    texts.append({model->index(r, c).data().toString(), where});
            }
        }
    }
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void languageChoice_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QStringList>("environment"); // LANGUAGE, LC_ALL, LC_MESSAGES, LANG
        QTest::addColumn<QString>("chosen");
        QTest::newRow("the option first") << u"de"_s << u"en"_s << QStringList{{}, {}, {}, u"it_IT.UTF-8"_s} << u"de"_s;
        QTest::newRow("then the setting") << QString() << u"en"_s << QStringList{{}, {}, {}, u"de_DE.UTF-8"_s}
                                          << u"en"_s;
        QTest::newRow("an unknown option is passed over")
            << u"fr"_s << QString() << QStringList{{}, {}, {}, u"de_AT.UTF-8@euro"_s} << u"de"_s;
        QTest::newRow("LC_ALL over LC_MESSAGES over LANG")
            << QString() << QString() << QStringList{{}, u"en_GB.UTF-8"_s, u"de_DE"_s, u"it_IT"_s} << u"en"_s;
        QTest::newRow("LC_MESSAGES over LANG")
            << QString() << QString() << QStringList{{}, {}, u"de_DE"_s, u"it_IT"_s} << u"de"_s;
        QTest::newRow("LANGUAGE's list, first with a catalogue")
            << QString() << QString() << QStringList{u"fr:de:en"_s, {}, {}, u"fr_FR.UTF-8"_s} << u"de"_s;
        QTest::newRow("LANGUAGE ignored without a locale")
            << QString() << QString() << QStringList{u"de"_s, {}, {}, u"C.UTF-8"_s} << QString();
        QTest::newRow("no locale: the texts as written") << QString() << QString() << QStringList{{}, {}, {}, {}}
                                                         << QString();
        QTest::newRow("a locale without a catalogue: English")
            << QString() << QString() << QStringList{{}, {}, {}, u"fr_FR.UTF-8"_s} << u"en"_s;
    }

    void languageChoice()
    {
        QFETCH(QString, option);
        QFETCH(QString, setting);
        QFETCH(QStringList, environment);
        QFETCH(QString, chosen);
        const QStringList names{u"LANGUAGE"_s, u"LC_ALL"_s, u"LC_MESSAGES"_s, u"LANG"_s};
        const auto env = [&](const char* name) { return environment.value(names.indexOf(QLatin1String(name))); };
        QCOMPARE(Translations::choose(option, setting, env), chosen);
    }

    void catalogueIsCompleteAndCurrent_data()
    {
        QTest::addColumn<QString>("language");
        for (const QString& language : kLanguages)
            QTest::newRow(qPrintable(language)) << language;
    }

    void catalogueIsCompleteAndCurrent()
    {
        QFETCH(QString, language);
        const QList<Message> committed = readCatalogue(catalogue(language));
        QVERIFY(committed.size() > 50);
        for (const Message& m : committed) {
            const QString what = m.context + u": "_s + m.source;
            QVERIFY2(m.type.isEmpty() && !m.translation.isEmpty(), qPrintable(u"unfinished: "_s + what));
            QVERIFY2(placeholders(m.source) == placeholders(m.translation), qPrintable(u"placeholders: "_s + what));
        }
        // Made again from today's sources: a shown text added since is unfinished there, one removed is gone.
        QTemporaryDir dir;
        const QString fresh = dir.filePath(u"fresh.ts"_s);
        QVERIFY(QFile::copy(catalogue(language), fresh));
        QProcess lupdate;
        lupdate.start(QLibraryInfo::path(QLibraryInfo::BinariesPath) + u"/lupdate"_s,
                      {u"-no-obsolete"_s, u"-locations"_s, u"none"_s, u"-silent"_s, QStringLiteral(QZ_SOURCE_DIR "/app"),
                       QStringLiteral(QZ_SOURCE_DIR "/config"), QStringLiteral(QZ_SOURCE_DIR "/history"),
                       QStringLiteral(QZ_SOURCE_DIR "/platform"), QStringLiteral(QZ_SOURCE_DIR "/stations"),
                       QStringLiteral(QZ_SOURCE_DIR "/telephony"), u"-ts"_s, fresh});
        QVERIFY2(lupdate.waitForFinished(60000) && lupdate.exitCode() == 0, lupdate.readAllStandardError().constData());
        QStringList unfinished;
        const QList<Message> current = readCatalogue(fresh);
        for (const Message& m : current) {
            if (!m.type.isEmpty())
                unfinished.append(m.context + u": "_s + m.source);
        }
        QVERIFY2(unfinished.isEmpty(), qPrintable(u"not in the catalogue (translations/fill.py): "_s + unfinished.join(u" | ")));
        QCOMPARE(current.size(), committed.size());
    }

    void windowsShowOnlyTheirLanguage_data()
    {
        catalogueIsCompleteAndCurrent_data();
    }

    void windowsShowOnlyTheirLanguage()
    {
        QFETCH(QString, language);
        QList<QRegularExpression> own;
        for (const Message& m : readCatalogue(catalogue(language)))
            own.append(shownAs(m.translation));
        QVERIFY(Translations::install(*qApp, language));
        const auto uninstall = qScopeGuard([] {
            for (QTranslator* t : qApp->findChildren<QTranslator*>()) {
                QCoreApplication::removeTranslator(t);
                delete t;
            }
        });

        ConfigRecord record;
        for (int i = 0; i < MainWindow::kStations; ++i) {
            record.active[std::size_t(i)] = 1;
            record.description[std::size_t(i)] = u"Gate %1"_s.arg(i + 1);
        }
        ConsoleState state;
        MainWindow main(record, state);
        main.layOut();
        QTemporaryDir dir;
        HistoryArchive archive;
        QSignalSpy opened(&archive, &HistoryArchive::opened);
        archive.open(dir.path(), HistoryLimits{});
        QTRY_COMPARE(opened.count(), 1);
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        for (HistoryKind kind : history::allKinds()) {
            HistoryEvent event;
            event.id = now * 1000 + int(kind);
            event.timeMs = now;
            event.station = 0;
            event.kind = kind;
            event.outcome = HistoryOutcome::AnsweredElsewhere;
            archive.add(event);
        }
        archive.flush();
        HistoryWindow historyWindow(archive, record);
        historyWindow.show();
        QTRY_VERIFY(historyWindow.findChild<QTableView*>()->model()->rowCount() == history::allKinds().size());
        ConfigDialog config(record, dir.filePath(u"qzp.cfg"_s));
        AboutBox about(u"desk-1"_s);
        SplashWindow splash;
        FakeSettingsStore settings;
        ZoomWindow zoom(settings);
        zoom.setDescription(record.description[3]);
        RingPopup popup;
        popup.setCaller(u"Gate 4 (4)"_s);
        QtTrayIcon tray;
        QMenu* trayMenu = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "Tray"_L1)
                trayMenu = qobject_cast<QMenu*>(w);
        }
        QVERIFY(trayMenu);

        QList<QPair<QString, QString>> texts;
        for (QWidget* window : std::initializer_list<QWidget*>{&main, &historyWindow, &config, &about, &splash, &zoom,
                                                                &popup, trayMenu})
            collectTexts(window, texts);
        // Every text comes from this language's catalogue, or is data: the stations' descriptions, the desk's
        // name, the product's names, numbers, dates and times.
        const QRegularExpression data(u"^(Gate \\d+.*|desk-1|QZ.*|v\\. .*|[\\d\\s/:.,()+-]*)$"_s);
        int checked = 0;
        for (const auto& [text, where] : texts) {
            if (text.isEmpty())
                continue;
            ++checked;
            const bool fromCatalogue = std::any_of(own.cbegin(), own.cend(),
                                                   [&](const QRegularExpression& p) { return p.match(text).hasMatch(); });
            QVERIFY2(fromCatalogue || data.match(text).hasMatch(),
                     qPrintable(u"not from the catalogue: "_s + where + u": \""_s + text + u'"'));
        }
        QVERIFY(checked > 100);

        // Every button, the image buttons too, is a button with a name for a screen reader.
        for (QWidget* window : std::initializer_list<QWidget*>{&main, &historyWindow, &config, &about, &zoom, &popup}) {
            QList<QWidget*> buttons;
            for (QWidget* w : window->findChildren<QWidget*>()) {
                // Qt's own buttons count where the operator can reach them (not a hidden table corner).
                if (qobject_cast<ImageButton*>(w) || (qobject_cast<QAbstractButton*>(w) && w->isVisibleTo(window)))
                    buttons.append(w);
            }
            QVERIFY(!buttons.isEmpty());
            for (QWidget* b : buttons) {
                QAccessibleInterface* face = QAccessible::queryAccessibleInterface(b);
                const QString where = window->objectName() + u'/' + b->objectName() + u' ' + QLatin1String(b->metaObject()->className());
                QVERIFY2(face && face->role() != QAccessible::StaticText && !face->text(QAccessible::Name).isEmpty(),
                         qPrintable(where));
            }
        }
    }
};

QTEST_MAIN(TestTranslations)
#include "test_translations.moc"
