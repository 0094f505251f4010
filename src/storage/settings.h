#pragma once

#include "storage/sortmode.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>

class SettingsStore;

/// The appearance setting: follow the desktop, or force light or dark.
enum class AppAppearanceMode { system, light, dark };

/// Declares one setting: its getter, `setName`, `resetName` (back to the default by removing the
/// stored value) and `getterChanged(value)`, emitted once each time the stored value changes,
/// whoever changed it.
#define QUILLMERE_SETTING(Type, getter, Name)                                                      \
public:                                                                                            \
    Type getter() const;                                                                           \
    void set##Name(const Type &value);                                                             \
    void reset##Name();                                                                            \
    Q_SIGNAL void getter##Changed(const Type &value);

/// Every setting the application keeps, typed, each with its stored name, its default and its
/// change signal. The stored names are a file format shared with other installations: they never
/// change. A stored value of the wrong type, or out of the range the getter allows, reads as the
/// default. Reads and writes go to SettingsStore::instance(), whichever store that is at the time
/// (tests swap it). Main thread only.
class Settings : public QObject
{
    Q_OBJECT

public:
    /// The folders that had a bookmark when the folder history was last saved, by path.
    using FolderBookmarks = QMap<QString, QByteArray>;

    static Settings &instance();

    static constexpr int defaultEditorFontSize = 14;
    static constexpr int defaultListFontSize = 13;

    /// Font size of the editor and the preview in points; 6 to 72, else 14.
    QUILLMERE_SETTING(int, editorFontSize, EditorFontSize)
    /// Font size of the lists on the left in points; 8 to 48, else 13.
    QUILLMERE_SETTING(int, listFontSize, ListFontSize)
    QUILLMERE_SETTING(bool, thickEditorCursor, ThickEditorCursor)
    /// Any stored string other than "light" and "dark" reads as system.
    QUILLMERE_SETTING(AppAppearanceMode, appearanceMode, AppearanceMode)
    QUILLMERE_SETTING(bool, showMarkdownPreview, ShowMarkdownPreview)
    /// The raw name of the page on the left; empty when none was stored.
    QUILLMERE_SETTING(QString, lastSelectedPage, LastSelectedPage)
    /// The raw name of the side pane's tab; empty when none was stored.
    QUILLMERE_SETTING(QString, previewPaneSideTab, PreviewPaneSideTab)

    /// The keyword in the search field, as typed.
    QUILLMERE_SETTING(QString, searchKeyword, SearchKeyword)
    /// The keyword of the last search that ran, so its stored results are known to match.
    QUILLMERE_SETTING(QString, lastSearchKeyword, LastSearchKeyword)
    QUILLMERE_SETTING(QStringList, searchHistory, SearchHistory)
    /// The last search's results in the search store's own encoding.
    QUILLMERE_SETTING(QByteArray, persistedSearchResults, PersistedSearchResults)

    /// The stored mode when it is a valid raw value, else modificationDate when the older
    /// "pins on top" setting says no, else pinsFirst.
    QUILLMERE_SETTING(NotesFileSortMode, notesFileSortMode, NotesFileSortMode)
    /// The notes page's selected folder, shared by all base folders; empty for "すべて".
    QUILLMERE_SETTING(QString, selectedNotesFolder, SelectedNotesFolder)
    /// The expanded folders of the notes page; nothing before the first write.
    QUILLMERE_SETTING(std::optional<QStringList>, expandedNoteFolders, ExpandedNoteFolders)

    /// The base folder chosen by the user; empty for the default folder.
    QUILLMERE_SETTING(QString, baseFolder, BaseFolder)
    /// The base folder's bookmark; empty when none. Setting or resetting it also drops the
    /// bookmark an older version stored under another name.
    QUILLMERE_SETTING(QByteArray, baseFolderBookmark, BaseFolderBookmark)
    /// The folder chooser's history, newest first; empty unless every entry is a string.
    QUILLMERE_SETTING(QStringList, folderHistory, FolderHistory)
    /// Empty unless every stored entry is a bookmark.
    QUILLMERE_SETTING(FolderBookmarks, folderHistoryBookmarks, FolderHistoryBookmarks)

    /// The main window's frame; nothing unless it is stored whole (x, y, width, height, all
    /// numbers).
    QUILLMERE_SETTING(std::optional<QRect>, windowFrame, WindowFrame)
    QUILLMERE_SETTING(QString, windowScreen, WindowScreen)
    /// Recovery files already pointed out to the user.
    QUILLMERE_SETTING(QStringList, announcedRecoveryFiles, AnnouncedRecoveryFiles)

public:
    /// Writes pending changes now rather than shortly after (a short-lived process ends first).
    /// False when they could not be written (they stay pending).
    bool sync();

    /// The bookmark an older version stored for the base folder, read until it is replaced.
    QByteArray legacyBaseFolderBookmark() const;

    /// The notes folder last selected while `baseFolder` was the base folder; empty when none.
    QString lastSelectedNotesFolder(const QString &baseFolder) const;
    void setLastSelectedNotesFolder(const QString &baseFolder, const QString &folder);

    /// The note last opened in `folder`; empty when none.
    QString lastFileInFolder(const QString &folder) const;
    void setLastFileInFolder(const QString &folder, const QString &file);
    void resetLastFileInFolder(const QString &folder);

    /// The stored names, for the few places that must name them (tests that write a damaged
    /// value, the settings file's readers elsewhere).
    static QString lastSelectedNotesFolderKey(const QString &baseFolder);
    static QString lastFileInFolderKey(const QString &folder);

private:
    Settings() = default;
    /// The current store, followed across a swap so change signals keep coming.
    SettingsStore &store() const;
    void storedValueChanged(const QString &key);

    mutable QPointer<SettingsStore> m_store;
};
