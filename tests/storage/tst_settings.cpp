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
        {"thickEditorCursor", [](const Settings &s) { return QVariant(s.thickEditorCursor()); }},
        {"appAppearanceMode",
         [](const Settings &s) { return QVariant::fromValue(s.appearanceMode()); }},
        {"notesFileSortMode",
         [](const Settings &s) { return QVariant::fromValue(s.notesFileSortMode()); }},
        {"expandedNoteFolderPaths",
         [](const Settings &s) { return orInvalid(s.expandedNoteFolders()); }},
        {"FolderHistory", [](const Settings &s) { return QVariant(s.folderHistory()); }},
        {"FolderHistoryBookmarks",
         [](const Settings &s) { return QVariant(int(s.folderHistoryBookmarks().size())); }},
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

        row("font size absent", "fontSize", {}, 14);
        row("font size stored", "fontSize", 20, 20);
        row("font size as text", "fontSize", "20", 14);
        row("font size beyond reason", "fontSize", 400, 14);
        row("list size smallest allowed", "uiListFontSize", 8, 8);
        row("list size too small", "uiListFontSize", 0, 13);
        row("list size too large", "uiListFontSize", 49, 13);
        row("cursor absent is thick", "thickEditorCursor", {}, true);
        row("cursor as a number", "thickEditorCursor", 0, true);
        row("appearance dark", "appAppearanceMode", "dark",
            QVariant::fromValue(AppAppearanceMode::dark));
        row("appearance is case-sensitive", "appAppearanceMode", "Dark",
            QVariant::fromValue(AppAppearanceMode::system));
        row("sort mode stored", "notesFileSortMode", "viewCount",
            QVariant::fromValue(NotesFileSortMode::viewCount));
        row("unknown sort mode", "notesFileSortMode", "alphabetical",
            QVariant::fromValue(NotesFileSortMode::pinsFirst));
        row("no expanded folders before the first write", "expandedNoteFolderPaths", {}, {});
        row("no folder expanded", "expandedNoteFolderPaths", QStringList(), QStringList());
        row("history with a number in it", "FolderHistory", QVariantList{"/a", 2}, QStringList());
        row("history bookmarks with text in them", "FolderHistoryBookmarks",
            QVariantMap{{"/a", QByteArray("b")}, {"/c", "text"}}, 0);
        row("frame whole", "MainWindowFrame", frame, QRect(10, 20, 800, 600));
        row("frame missing a side", "MainWindowFrame", frameMissing, {});
        row("frame with a number as text", "MainWindowFrame", frameWith("x", "10"), {});
        row("frame with anything not a number", "MainWindowFrame", frameWith("note", "x"), {});
        row("frame as text", "MainWindowFrame", "10,20,800,600", {});
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
        // The names other installations read: a rename here loses every user's choice.
        QTest::addColumn<Writer>("write");
        QTest::addColumn<QString>("storedName");
        const auto row = [](const char *name, Writer write) {
            QTest::newRow(name) << write << QString::fromLatin1(name);
        };
        row("fontSize", [](Settings &s) { s.setEditorFontSize(20); });
        row("uiListFontSize", [](Settings &s) { s.setListFontSize(16); });
        row("thickEditorCursor", [](Settings &s) { s.setThickEditorCursor(false); });
        row("appAppearanceMode", [](Settings &s) { s.setAppearanceMode(AppAppearanceMode::dark); });
        row("showMarkdownPreview", [](Settings &s) { s.setShowMarkdownPreview(false); });
        row("lastSelectedPage", [](Settings &s) { s.setLastSelectedPage("notes"); });
        row("previewPaneSideTab", [](Settings &s) { s.setPreviewPaneSideTab("outline"); });
        row("searchKeyword", [](Settings &s) { s.setSearchKeyword("k"); });
        row("lastSearchKeyword", [](Settings &s) { s.setLastSearchKeyword("k"); });
        row("searchHistory", [](Settings &s) { s.setSearchHistory({"k"}); });
        row("persistedResults", [](Settings &s) { s.setPersistedSearchResults("[]"); });
        row("notesFileSortMode",
            [](Settings &s) { s.setNotesFileSortMode(NotesFileSortMode::viewCount); });
        row("selectedFolder", [](Settings &s) { s.setSelectedNotesFolder("/n"); });
        row("expandedNoteFolderPaths", [](Settings &s) { s.setExpandedNoteFolders({{"/n"}}); });
        row("SelectedDayleafFolder", [](Settings &s) { s.setBaseFolder("/b"); });
        row("DayleafFolderBookmark", [](Settings &s) { s.setBaseFolderBookmark("m"); });
        row("FolderHistory", [](Settings &s) { s.setFolderHistory({"/b"}); });
        row("FolderHistoryBookmarks", [](Settings &s) {
            s.setFolderHistoryBookmarks({{"/b", "m"}});
        });
        row("MainWindowFrame", [](Settings &s) { s.setWindowFrame(QRect(1, 2, 3, 4)); });
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
        QFETCH(QString, storedName);
        TestEnvironment env;
        write(Settings::instance());
        QCOMPARE(storedFile().keys(), QStringList{storedName});
    }

    void changeSignalFiresOncePerChange_data()
    {
        QTest::addColumn<QString>("storedName");
        QTest::addColumn<QVariant>("first");
        QTest::addColumn<QVariant>("second");
        QTest::addColumn<QVariant>("fallback"); // what the getter reads once the value is gone
        QTest::newRow("font size") << "fontSize" << QVariant(16) << QVariant(18) << QVariant(14);
        QTest::newRow("keyword") << "searchKeyword" << QVariant("a") << QVariant("b")
                                 << QVariant(QString());
        QTest::newRow("sort mode")
            << "notesFileSortMode" << QVariant("viewCount") << QVariant("pinsFirst")
            << QVariant::fromValue(NotesFileSortMode::pinsFirst);
    }
    void changeSignalFiresOncePerChange()
    {
        QFETCH(QString, storedName);
        QFETCH(QVariant, first);
        QFETCH(QVariant, second);
        QFETCH(QVariant, fallback);
        TestEnvironment env;
        Settings &settings = Settings::instance();
        QSignalSpy fontSize(&settings, &Settings::editorFontSizeChanged);
        QSignalSpy keyword(&settings, &Settings::searchKeywordChanged);
        QSignalSpy sortMode(&settings, &Settings::notesFileSortModeChanged);
        QSignalSpy *spy = storedName == u"fontSize"        ? &fontSize
                          : storedName == u"searchKeyword" ? &keyword
                                                           : &sortMode;

        // Whoever writes (here the store itself, as a hand edit read back would), the setting
        // tells.
        SettingsStore &store = SettingsStore::instance();
        store.setValue(storedName, first);
        store.setValue(storedName, first);
        QCOMPARE(spy->count(), 1);
        store.setValue(storedName, second);
        store.remove(storedName);
        store.remove(storedName);
        QCOMPARE(fontSize.count() + keyword.count() + sortMode.count(), 3);
        QCOMPARE(spy->count(), 3);
        QCOMPARE(spy->last().at(0), fallback);
    }

    void followsASwappedStore()
    {
        TestEnvironment env;
        Settings &settings = Settings::instance();
        QSignalSpy changed(&settings, &Settings::listFontSizeChanged);
        settings.setListFontSize(15);
        SettingsStore::resetInstance(); // as a test, or a restart, would
        QCOMPARE(settings.listFontSize(), 15);
        settings.setListFontSize(16);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(storedFile().value("uiListFontSize").toInt(), 16);
    }

    void newBookmarkDropsTheOlderOne()
    {
        TestEnvironment env;
        SettingsStore::instance().setValue("SecureBookmark", QByteArray("old"));
        Settings &settings = Settings::instance();
        QCOMPARE(settings.legacyBaseFolderBookmark(), QByteArray("old"));
        QCOMPARE(settings.baseFolderBookmark(), QByteArray());
        settings.setBaseFolderBookmark("new");
        QCOMPARE(storedFile().keys(), QStringList{"DayleafFolderBookmark"});
        settings.resetBaseFolderBookmark();
        QCOMPARE(storedFile().keys(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
