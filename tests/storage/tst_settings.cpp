#include "common/testenvironment.h"

#include "storage/settings.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <functional>

namespace {

using Reader = std::function<QVariant(const Settings &)>;
using Writer = std::function<void(Settings &)>;

template <typename T> QVariant orInvalid(const std::optional<T> &value)
{
    return value ? QVariant::fromValue(*value) : QVariant();
}

// Each getter seen as a QVariant, under the name its value is stored by.
const QHash<QString, Reader> &readers()
{
    static const QHash<QString, Reader> table = {
        {"fontSize", [](const Settings &s) { return QVariant(s.editorFontSize()); }},
        {"uiListFontSize", [](const Settings &s) { return QVariant(s.listFontSize()); }},
        {"appAppearanceMode",
         [](const Settings &s) { return QVariant::fromValue(s.appearanceMode()); }},
        {"expandedNoteFolderPaths",
         [](const Settings &s) { return orInvalid(s.expandedNoteFolders()); }},
        {"MainWindowFrame", [](const Settings &s) { return orInvalid(s.windowFrame()); }},
    };
    return table;
}

QJsonObject storedFile()
{
    Settings::instance().sync();
    QFile file(SettingsStore::instance().filePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsStoredValueOrDefault_data()
    {
        QTest::addColumn<QString>("storedName");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("expected");
        const auto row = [](const char *name, const char *key, const QVariant &stored,
                            const QVariant &expected) {
            QTest::newRow(name) << QString::fromLatin1(key) << stored << expected;
        };
        const QVariantMap frame{
            {"x", 10.0}, {"y", 20.0}, {"width", 800.0}, {"height", qint64(600)}};
        const auto frameWith = [frame](const char *key, const QVariant &value) {
            QVariantMap changed = frame;
            changed.insert(key, value);
            return QVariant(changed);
        };
        QVariantMap frameMissing = frame;
        frameMissing.remove("height");

        row("font size beyond reason", "fontSize", 400, 14);
        row("list size smallest allowed", "uiListFontSize", 8, 8);
        row("list size too large", "uiListFontSize", 49, 13);
        row("appearance dark", "appAppearanceMode", "dark",
            QVariant::fromValue(AppAppearanceMode::dark));
        row("appearance is case-sensitive", "appAppearanceMode", "Dark",
            QVariant::fromValue(AppAppearanceMode::system));
        row("no expanded folders before the first write", "expandedNoteFolderPaths", {}, {});
        row("no folder expanded", "expandedNoteFolderPaths", QStringList(), QStringList());
        row("frame whole", "MainWindowFrame", frame, QRect(10, 20, 800, 600));
        row("frame missing a side", "MainWindowFrame", frameMissing, {});
        row("frame with a number as text", "MainWindowFrame", frameWith("x", "10"), {});
        row("frame with anything not a number", "MainWindowFrame", frameWith("note", "x"), {});
    }
    void readsStoredValueOrDefault()
    {
        QFETCH(QString, storedName);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, expected);
        TestEnvironment env;
        if (stored.isValid())
            QVERIFY(SettingsStore::instance().setValue(storedName, stored));
        QCOMPARE(readers().value(storedName)(Settings::instance()), expected);
    }

    void writesUnderTheStoredNames_data()
    {
        // The names other installations read: a rename here loses every user's choice. Names the
        // reading rows above or the change signals below store by, or another test reads back
        // after a write through the application, are left to those (a getter and its setter
        // share the name).
        QTest::addColumn<Writer>("write"); // under the row's name
        const auto row = [](const char *name, Writer write) { QTest::newRow(name) << write; };
        row("showMarkdownPreview", [](Settings &s) { s.setShowMarkdownPreview(false); });
        row("searchHistory", [](Settings &s) { s.setSearchHistory({"k"}); });
        row("selectedFolder", [](Settings &s) { s.setSelectedNotesFolder("/n"); });
        row("MainWindowScreenID", [](Settings &s) { s.setWindowScreen("screen_A"); });
        row("announcedRecoveryFiles", [](Settings &s) { s.setAnnouncedRecoveryFiles({"/r"}); });
        row("lastSelectedFolderPath_/b_notes",
            [](Settings &s) { s.setLastSelectedNotesFolder("/b", "/b/Notes/x"); });
        row("lastFileInFolder_/b/Notes/x",
            [](Settings &s) { s.setLastFileInFolder("/b/Notes/x", "/b/Notes/x/a.md"); });
    }
    void writesUnderTheStoredNames()
    {
        QFETCH(Writer, write);
        TestEnvironment env;
        write(Settings::instance());
        QCOMPARE(storedFile().keys(), QStringList{QString::fromLatin1(QTest::currentDataTag())});
    }

    // Whoever writes (here the store itself, as a hand edit read back would), the setting tells,
    // once per change; once the value is gone, with what the getter then reads.
    void changeSignalFiresOncePerChange()
    {
        TestEnvironment env;
        Settings &settings = Settings::instance();
        QSignalSpy fontSize(&settings, &Settings::editorFontSizeChanged);
        QSignalSpy keyword(&settings, &Settings::searchKeywordChanged);
        QSignalSpy sortMode(&settings, &Settings::notesFileSortModeChanged);
        SettingsStore &store = SettingsStore::instance();
        const auto write = [&store](int size, const char *keyword, const char *mode) {
            store.setValue("fontSize", size);
            store.setValue("searchKeyword", keyword);
            store.setValue("notesFileSortMode", mode);
        };
        write(16, "a", "viewCount");
        write(16, "a", "viewCount"); // no change
        write(18, "b", "pinsFirst");
        for (int i = 0; i < 2; ++i) { // the second time there is nothing to remove
            for (const char *name : {"fontSize", "searchKeyword", "notesFileSortMode"})
                store.remove(name);
        }
        QCOMPARE((QList<qsizetype>{fontSize.count(), keyword.count(), sortMode.count()}),
                 (QList<qsizetype>{3, 3, 3}));
        QCOMPARE(fontSize.last().at(0), QVariant(14));
        QCOMPARE(keyword.last().at(0), QVariant(QString()));
        QCOMPARE(sortMode.last().at(0), QVariant::fromValue(NotesFileSortMode::pinsFirst));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
