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

// Each getter seen as a QVariant, so one table drives every row.
const QHash<QString, Reader> &readers()
{
    static const QHash<QString, Reader> table = {
        {"editorFontSize", [](const Settings &s) { return QVariant(s.editorFontSize()); }},
        {"listFontSize", [](const Settings &s) { return QVariant(s.listFontSize()); }},
        {"thickEditorCursor", [](const Settings &s) { return QVariant(s.thickEditorCursor()); }},
        {"appearanceMode",
         [](const Settings &s) { return QVariant::fromValue(s.appearanceMode()); }},
        {"notesFileSortMode",
         [](const Settings &s) { return QVariant::fromValue(s.notesFileSortMode()); }},
        {"expandedNoteFolders",
         [](const Settings &s) { return orInvalid(s.expandedNoteFolders()); }},
        {"folderHistory", [](const Settings &s) { return QVariant(s.folderHistory()); }},
        {"folderHistoryBookmarks",
         [](const Settings &s) { return QVariant(int(s.folderHistoryBookmarks().size())); }},
        {"windowFrame", [](const Settings &s) { return orInvalid(s.windowFrame()); }},
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
    void readsStoredValueOrDefault_data();
    void readsStoredValueOrDefault();
    void writesUnderTheStoredNames_data();
    void writesUnderTheStoredNames();
    void changeSignalFiresOncePerChange_data();
    void changeSignalFiresOncePerChange();
    void followsASwappedStore();
    void newBookmarkDropsTheOlderOne();
};

void TestSettings::readsStoredValueOrDefault_data()
{
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("getter");
    QTest::addColumn<QVariant>("expected");

    const QVariantMap frame{{"x", 10.0}, {"y", 20.0}, {"width", 800.0}, {"height", qint64(600)}};
    QVariantMap frameMissing = frame;
    frameMissing.remove("height");
    QVariantMap frameText = frame;
    frameText.insert("x", "10");
    QVariantMap frameExtra = frame;
    frameExtra.insert("note", "x");

    QTest::newRow("font size absent")
        << "fontSize" << QVariant() << "editorFontSize" << QVariant(14);
    QTest::newRow("font size stored")
        << "fontSize" << QVariant(20) << "editorFontSize" << QVariant(20);
    QTest::newRow("font size as text")
        << "fontSize" << QVariant("20") << "editorFontSize" << QVariant(14);
    QTest::newRow("font size beyond reason")
        << "fontSize" << QVariant(400) << "editorFontSize" << QVariant(14);
    QTest::newRow("list size zero")
        << "uiListFontSize" << QVariant(0) << "listFontSize" << QVariant(13);
    QTest::newRow("list size smallest allowed")
        << "uiListFontSize" << QVariant(8) << "listFontSize" << QVariant(8);
    QTest::newRow("list size too large")
        << "uiListFontSize" << QVariant(49) << "listFontSize" << QVariant(13);
    QTest::newRow("cursor absent is thick")
        << "thickEditorCursor" << QVariant() << "thickEditorCursor" << QVariant(true);
    QTest::newRow("cursor as a number")
        << "thickEditorCursor" << QVariant(0) << "thickEditorCursor" << QVariant(true);
    QTest::newRow("appearance dark") << "appAppearanceMode" << QVariant("dark") << "appearanceMode"
                                     << QVariant::fromValue(AppAppearanceMode::dark);
    QTest::newRow("appearance is case-sensitive")
        << "appAppearanceMode" << QVariant("Dark") << "appearanceMode"
        << QVariant::fromValue(AppAppearanceMode::system);
    QTest::newRow("sort mode stored")
        << "notesFileSortMode" << QVariant("viewCount") << "notesFileSortMode"
        << QVariant::fromValue(NotesFileSortMode::viewCount);
    QTest::newRow("unknown sort mode")
        << "notesFileSortMode" << QVariant("alphabetical") << "notesFileSortMode"
        << QVariant::fromValue(NotesFileSortMode::pinsFirst);
    QTest::newRow("no expanded folders before the first write")
        << "expandedNoteFolderPaths" << QVariant() << "expandedNoteFolders" << QVariant();
    QTest::newRow("no folder expanded") << "expandedNoteFolderPaths" << QVariant(QStringList())
                                        << "expandedNoteFolders" << QVariant(QStringList());
    QTest::newRow("history with a number in it")
        << "FolderHistory" << QVariant(QVariantList{"/a", 2}) << "folderHistory"
        << QVariant(QStringList());
    QTest::newRow("history bookmarks with text in them")
        << "FolderHistoryBookmarks"
        << QVariant(QVariantMap{{"/a", QByteArray("b")}, {"/c", "text"}})
        << "folderHistoryBookmarks" << QVariant(0);
    QTest::newRow("frame whole") << "MainWindowFrame" << QVariant(frame) << "windowFrame"
                                 << QVariant(QRect(10, 20, 800, 600));
    QTest::newRow("frame missing a side")
        << "MainWindowFrame" << QVariant(frameMissing) << "windowFrame" << QVariant();
    QTest::newRow("frame with a number as text")
        << "MainWindowFrame" << QVariant(frameText) << "windowFrame" << QVariant();
    QTest::newRow("frame with anything not a number")
        << "MainWindowFrame" << QVariant(frameExtra) << "windowFrame" << QVariant();
    QTest::newRow("frame as text")
        << "MainWindowFrame" << QVariant("10,20,800,600") << "windowFrame" << QVariant();
}

void TestSettings::readsStoredValueOrDefault()
{
    QFETCH(QString, storedName);
    QFETCH(QVariant, stored);
    QFETCH(QString, getter);
    QFETCH(QVariant, expected);
    TestEnvironment env;
    if (stored.isValid())
        QVERIFY(SettingsStore::instance().setValue(storedName, stored));
    QCOMPARE(readers().value(getter)(Settings::instance()), expected);
}

void TestSettings::writesUnderTheStoredNames_data()
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
    row("FolderHistoryBookmarks", [](Settings &s) { s.setFolderHistoryBookmarks({{"/b", "m"}}); });
    row("MainWindowFrame", [](Settings &s) { s.setWindowFrame(QRect(1, 2, 3, 4)); });
    row("MainWindowScreenID", [](Settings &s) { s.setWindowScreen("screen_A"); });
    row("announcedRecoveryFiles", [](Settings &s) { s.setAnnouncedRecoveryFiles({"/r"}); });
    row("lastSelectedFolderPath_/b_notes",
        [](Settings &s) { s.setLastSelectedNotesFolder("/b", "/b/Notes/x"); });
    row("lastFileInFolder_/b/Notes/x",
        [](Settings &s) { s.setLastFileInFolder("/b/Notes/x", "/b/Notes/x/a.md"); });
}

void TestSettings::writesUnderTheStoredNames()
{
    QFETCH(Writer, write);
    QFETCH(QString, storedName);
    TestEnvironment env;
    write(Settings::instance());
    QCOMPARE(storedFile().keys(), QStringList{storedName});
}

void TestSettings::changeSignalFiresOncePerChange_data()
{
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<QVariant>("first");
    QTest::addColumn<QVariant>("second");

    QTest::newRow("font size") << "fontSize" << QVariant(16) << QVariant(18);
    QTest::newRow("keyword") << "searchKeyword" << QVariant("a") << QVariant("b");
    QTest::newRow("sort mode") << "notesFileSortMode" << QVariant("viewCount")
                               << QVariant("pinsFirst");
}

void TestSettings::changeSignalFiresOncePerChange()
{
    QFETCH(QString, storedName);
    QFETCH(QVariant, first);
    QFETCH(QVariant, second);
    TestEnvironment env;
    Settings &settings = Settings::instance();
    QSignalSpy fontSize(&settings, &Settings::editorFontSizeChanged);
    QSignalSpy keyword(&settings, &Settings::searchKeywordChanged);
    QSignalSpy sortMode(&settings, &Settings::notesFileSortModeChanged);
    const QHash<QString, QSignalSpy *> spies = {
        {"fontSize", &fontSize}, {"searchKeyword", &keyword}, {"notesFileSortMode", &sortMode}};
    QSignalSpy *spy = spies.value(storedName);

    // Whoever writes (here the store itself, as a hand edit read back would), the setting tells.
    SettingsStore &store = SettingsStore::instance();
    store.setValue(storedName, first);
    store.setValue(storedName, first);
    QCOMPARE(spy->count(), 1);
    store.setValue(storedName, second);
    store.remove(storedName);
    store.remove(storedName);
    QCOMPARE(spy->count(), 3);
    QCOMPARE(fontSize.count() + keyword.count() + sortMode.count(), 3);
    // The last signal carries the default the getter now reads.
    if (spy == &fontSize)
        QCOMPARE(spy->last().at(0).toInt(), 14);
    if (spy == &keyword)
        QCOMPARE(spy->last().at(0).toString(), QString());
    if (spy == &sortMode)
        QCOMPARE(spy->last().at(0).value<NotesFileSortMode>(), NotesFileSortMode::pinsFirst);
}

void TestSettings::followsASwappedStore()
{
    TestEnvironment env;
    Settings &settings = Settings::instance();
    QSignalSpy changed(&settings, &Settings::listFontSizeChanged);
    settings.setListFontSize(15);
    SettingsStore::resetInstance(); // as a test, or a restart, would
    QCOMPARE(settings.listFontSize(), 15);
    settings.setListFontSize(16);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.last().at(0).toInt(), 16);
    QCOMPARE(storedFile().value("uiListFontSize").toInt(), 16);
}

void TestSettings::newBookmarkDropsTheOlderOne()
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

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
