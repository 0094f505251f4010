#include "storage/settings.h"

#include "platform/settingsstore.h"

#include <QHash>
#include <QVariantMap>

#include <functional>

namespace {

// The stored names. Other installations read and write the same file: never rename one.
namespace Key {
const QString editorFontSize = QStringLiteral("fontSize");
const QString listFontSize = QStringLiteral("uiListFontSize");
const QString thickEditorCursor = QStringLiteral("thickEditorCursor");
const QString appearanceMode = QStringLiteral("appAppearanceMode");
const QString showMarkdownPreview = QStringLiteral("showMarkdownPreview");
const QString lastSelectedPage = QStringLiteral("lastSelectedPage");
const QString previewPaneSideTab = QStringLiteral("previewPaneSideTab");
const QString searchKeyword = QStringLiteral("searchKeyword");
const QString lastSearchKeyword = QStringLiteral("lastSearchKeyword");
const QString searchHistory = QStringLiteral("searchHistory");
const QString persistedSearchResults = QStringLiteral("persistedResults");
const QString notesFileSortMode = QStringLiteral("notesFileSortMode");
const QString notesPinSortToTop = QStringLiteral("notesPinSortToTop");
const QString selectedNotesFolder = QStringLiteral("selectedFolder");
const QString expandedNoteFolders = QStringLiteral("expandedNoteFolderPaths");
const QString baseFolder = QStringLiteral("SelectedDayleafFolder");
const QString baseFolderBookmark = QStringLiteral("DayleafFolderBookmark");
const QString legacyBaseFolderBookmark = QStringLiteral("SecureBookmark");
const QString folderHistory = QStringLiteral("FolderHistory");
const QString folderHistoryBookmarks = QStringLiteral("FolderHistoryBookmarks");
const QString windowFrame = QStringLiteral("MainWindowFrame");
const QString windowScreen = QStringLiteral("MainWindowScreenID");
const QString announcedRecoveryFiles = QStringLiteral("announcedRecoveryFiles");
} // namespace Key

/// A hand-edited size must not make text vanish or fill the screen.
int sizeWithin(std::optional<qint64> stored, int lowest, int highest, int fallback)
{
    if (!stored || *stored < lowest || *stored > highest)
        return fallback;
    return int(*stored);
}

QString appearanceToString(AppAppearanceMode mode)
{
    switch (mode) {
    case AppAppearanceMode::light:
        return QStringLiteral("light");
    case AppAppearanceMode::dark:
        return QStringLiteral("dark");
    case AppAppearanceMode::system:
        break;
    }
    return QStringLiteral("system");
}

bool isNumber(const QVariant &value)
{
    return value.typeId() == QMetaType::Double || value.typeId() == QMetaType::LongLong;
}

const QStringList frameMembers = {QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("width"),
                                  QStringLiteral("height")};

std::optional<QRect> frameFromMap(const std::optional<QVariantMap> &map)
{
    if (!map || map->isEmpty())
        return std::nullopt;
    for (const QVariant &value : *map) {
        if (!isNumber(value))
            return std::nullopt;
    }
    for (const QString &member : frameMembers) {
        if (!map->contains(member))
            return std::nullopt;
    }
    const auto at = [&map](int i) { return qRound(map->value(frameMembers[i]).toDouble()); };
    return QRect(at(0), at(1), at(2), at(3));
}

using Emitter = std::function<void(Settings &)>;

} // namespace

// The writer and the remover of a setting whose value is stored as it is.
#define QUILLMERE_STORED_AS_IS(Type, getter, Name)                                                 \
    void Settings::set##Name(const Type &value)                                                    \
    {                                                                                              \
        store().setValue(Key::getter, value);                                                      \
    }                                                                                              \
    void Settings::reset##Name()                                                                   \
    {                                                                                              \
        store().remove(Key::getter);                                                               \
    }

Settings &Settings::instance()
{
    static Settings *settings = new Settings;
    settings->store();
    return *settings;
}

SettingsStore &Settings::store() const
{
    SettingsStore &current = SettingsStore::instance();
    if (m_store != &current) {
        m_store = &current;
        connect(&current, &SettingsStore::valueChanged, this, &Settings::storedValueChanged);
    }
    return current;
}

bool Settings::sync()
{
    store().sync();
    return !store().hasUnsavedChanges();
}

// The getters and setters below, one group per setting.

int Settings::editorFontSize() const
{
    return sizeWithin(store().integer(Key::editorFontSize), 6, 72, defaultEditorFontSize);
}

QUILLMERE_STORED_AS_IS(int, editorFontSize, EditorFontSize)

int Settings::listFontSize() const
{
    return sizeWithin(store().integer(Key::listFontSize), 8, 48, defaultListFontSize);
}

QUILLMERE_STORED_AS_IS(int, listFontSize, ListFontSize)

bool Settings::thickEditorCursor() const
{
    return store().boolOr(Key::thickEditorCursor, true);
}

QUILLMERE_STORED_AS_IS(bool, thickEditorCursor, ThickEditorCursor)

AppAppearanceMode Settings::appearanceMode() const
{
    const QString raw = store().stringOr(Key::appearanceMode, {});
    for (const auto mode : {AppAppearanceMode::light, AppAppearanceMode::dark}) {
        if (raw == appearanceToString(mode))
            return mode;
    }
    return AppAppearanceMode::system;
}

void Settings::setAppearanceMode(const AppAppearanceMode &value)
{
    store().setValue(Key::appearanceMode, appearanceToString(value));
}

void Settings::resetAppearanceMode()
{
    store().remove(Key::appearanceMode);
}

bool Settings::showMarkdownPreview() const
{
    return store().boolOr(Key::showMarkdownPreview, true);
}

QUILLMERE_STORED_AS_IS(bool, showMarkdownPreview, ShowMarkdownPreview)

QString Settings::lastSelectedPage() const
{
    return store().stringOr(Key::lastSelectedPage, {});
}

QUILLMERE_STORED_AS_IS(QString, lastSelectedPage, LastSelectedPage)

QString Settings::previewPaneSideTab() const
{
    return store().stringOr(Key::previewPaneSideTab, {});
}

QUILLMERE_STORED_AS_IS(QString, previewPaneSideTab, PreviewPaneSideTab)

QString Settings::searchKeyword() const
{
    return store().stringOr(Key::searchKeyword, {});
}

QUILLMERE_STORED_AS_IS(QString, searchKeyword, SearchKeyword)

QString Settings::lastSearchKeyword() const
{
    return store().stringOr(Key::lastSearchKeyword, {});
}

QUILLMERE_STORED_AS_IS(QString, lastSearchKeyword, LastSearchKeyword)

QStringList Settings::searchHistory() const
{
    return store().stringArray(Key::searchHistory).value_or(QStringList());
}

QUILLMERE_STORED_AS_IS(QStringList, searchHistory, SearchHistory)

QByteArray Settings::persistedSearchResults() const
{
    return store().data(Key::persistedSearchResults).value_or(QByteArray());
}

QUILLMERE_STORED_AS_IS(QByteArray, persistedSearchResults, PersistedSearchResults)

NotesFileSortMode Settings::notesFileSortMode() const
{
    if (const auto stored = store().string(Key::notesFileSortMode)) {
        if (const auto mode = sortModeFromString(*stored))
            return *mode;
    }
    return store().boolOr(Key::notesPinSortToTop, true) ? NotesFileSortMode::pinsFirst
                                                        : NotesFileSortMode::modificationDate;
}

void Settings::setNotesFileSortMode(const NotesFileSortMode &value)
{
    store().setValue(Key::notesFileSortMode, sortModeToString(value));
}

void Settings::resetNotesFileSortMode()
{
    store().remove(Key::notesFileSortMode);
}

QString Settings::selectedNotesFolder() const
{
    return store().stringOr(Key::selectedNotesFolder, {});
}

QUILLMERE_STORED_AS_IS(QString, selectedNotesFolder, SelectedNotesFolder)

std::optional<QStringList> Settings::expandedNoteFolders() const
{
    return store().stringArray(Key::expandedNoteFolders);
}

void Settings::setExpandedNoteFolders(const std::optional<QStringList> &value)
{
    if (value)
        store().setValue(Key::expandedNoteFolders, *value);
    else
        store().remove(Key::expandedNoteFolders);
}

void Settings::resetExpandedNoteFolders()
{
    store().remove(Key::expandedNoteFolders);
}

QString Settings::baseFolder() const
{
    return store().stringOr(Key::baseFolder, {});
}

QUILLMERE_STORED_AS_IS(QString, baseFolder, BaseFolder)

QByteArray Settings::baseFolderBookmark() const
{
    return store().data(Key::baseFolderBookmark).value_or(QByteArray());
}

void Settings::setBaseFolderBookmark(const QByteArray &value)
{
    store().setValue(Key::baseFolderBookmark, value);
    store().remove(Key::legacyBaseFolderBookmark);
}

void Settings::resetBaseFolderBookmark()
{
    store().remove(Key::baseFolderBookmark);
    store().remove(Key::legacyBaseFolderBookmark);
}

QByteArray Settings::legacyBaseFolderBookmark() const
{
    return store().data(Key::legacyBaseFolderBookmark).value_or(QByteArray());
}

QStringList Settings::folderHistory() const
{
    return store().stringArray(Key::folderHistory).value_or(QStringList());
}

QUILLMERE_STORED_AS_IS(QStringList, folderHistory, FolderHistory)

Settings::FolderBookmarks Settings::folderHistoryBookmarks() const
{
    FolderBookmarks bookmarks;
    const QVariantMap stored =
        store().dictionary(Key::folderHistoryBookmarks).value_or(QVariantMap());
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        if (it.value().typeId() != QMetaType::QByteArray)
            return {};
        bookmarks.insert(it.key(), it.value().toByteArray());
    }
    return bookmarks;
}

void Settings::setFolderHistoryBookmarks(const FolderBookmarks &value)
{
    QVariantMap stored;
    for (auto it = value.begin(); it != value.end(); ++it)
        stored.insert(it.key(), it.value());
    store().setValue(Key::folderHistoryBookmarks, stored);
}

void Settings::resetFolderHistoryBookmarks()
{
    store().remove(Key::folderHistoryBookmarks);
}

std::optional<QRect> Settings::windowFrame() const
{
    return frameFromMap(store().dictionary(Key::windowFrame));
}

void Settings::setWindowFrame(const std::optional<QRect> &value)
{
    if (!value) {
        store().remove(Key::windowFrame);
        return;
    }
    store().setValue(Key::windowFrame, QVariantMap{{frameMembers[0], double(value->x())},
                                                   {frameMembers[1], double(value->y())},
                                                   {frameMembers[2], double(value->width())},
                                                   {frameMembers[3], double(value->height())}});
}

void Settings::resetWindowFrame()
{
    store().remove(Key::windowFrame);
}

QString Settings::windowScreen() const
{
    return store().stringOr(Key::windowScreen, {});
}

QUILLMERE_STORED_AS_IS(QString, windowScreen, WindowScreen)

QStringList Settings::announcedRecoveryFiles() const
{
    return store().stringArray(Key::announcedRecoveryFiles).value_or(QStringList());
}

QUILLMERE_STORED_AS_IS(QStringList, announcedRecoveryFiles, AnnouncedRecoveryFiles)

// ----- Keys built at run time -----

QString Settings::lastSelectedNotesFolderKey(const QString &baseFolder)
{
    return QStringLiteral("lastSelectedFolderPath_") + baseFolder + QStringLiteral("_notes");
}

QString Settings::lastFileInFolderKey(const QString &folder)
{
    return QStringLiteral("lastFileInFolder_") + folder;
}

QString Settings::lastSelectedNotesFolder(const QString &baseFolder) const
{
    return store().stringOr(lastSelectedNotesFolderKey(baseFolder), {});
}

void Settings::setLastSelectedNotesFolder(const QString &baseFolder, const QString &folder)
{
    store().setValue(lastSelectedNotesFolderKey(baseFolder), folder);
}

QString Settings::lastFileInFolder(const QString &folder) const
{
    return store().stringOr(lastFileInFolderKey(folder), {});
}

void Settings::setLastFileInFolder(const QString &folder, const QString &file)
{
    store().setValue(lastFileInFolderKey(folder), file);
}

void Settings::resetLastFileInFolder(const QString &folder)
{
    store().remove(lastFileInFolderKey(folder));
}

// ----- Change signals -----

void Settings::storedValueChanged(const QString &key)
{
#define QUILLMERE_EMITTER(getter)                                                                  \
    {                                                                                              \
        Key::getter, [](Settings &s) { Q_EMIT s.getter##Changed(s.getter()); }                     \
    }
    static const QHash<QString, Emitter> emitters = {
        QUILLMERE_EMITTER(editorFontSize),
        QUILLMERE_EMITTER(listFontSize),
        QUILLMERE_EMITTER(thickEditorCursor),
        QUILLMERE_EMITTER(appearanceMode),
        QUILLMERE_EMITTER(showMarkdownPreview),
        QUILLMERE_EMITTER(lastSelectedPage),
        QUILLMERE_EMITTER(previewPaneSideTab),
        QUILLMERE_EMITTER(searchKeyword),
        QUILLMERE_EMITTER(lastSearchKeyword),
        QUILLMERE_EMITTER(searchHistory),
        QUILLMERE_EMITTER(persistedSearchResults),
        QUILLMERE_EMITTER(notesFileSortMode),
        QUILLMERE_EMITTER(selectedNotesFolder),
        QUILLMERE_EMITTER(expandedNoteFolders),
        QUILLMERE_EMITTER(baseFolder),
        QUILLMERE_EMITTER(baseFolderBookmark),
        QUILLMERE_EMITTER(folderHistory),
        QUILLMERE_EMITTER(folderHistoryBookmarks),
        QUILLMERE_EMITTER(windowFrame),
        QUILLMERE_EMITTER(windowScreen),
        QUILLMERE_EMITTER(announcedRecoveryFiles),
    };
#undef QUILLMERE_EMITTER
    if (const auto it = emitters.constFind(key); it != emitters.constEnd())
        (*it)(*this);
}
